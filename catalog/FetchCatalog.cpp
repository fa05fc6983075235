// DownloadDialog::OpenInternetSession and FetchCatalog: latest.xml into memory, then parsed.
#include "CatalogFetch.h"
#include "CatalogUrl.h"
#include "DownloadDialog.h"

namespace {

// Sets a flag for the life of a scope, however the scope is left.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = false; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

HRESULT DownloadDialog::OpenInternetSession()
{
    if (!internetSession)
        internetSession = OpenUpdateSession();
    return internetSession ? S_OK : E_FAIL;
}

HRESULT DownloadDialog::FetchCatalog()
{
    // The document load dispatches queued messages; none of them may start another fetch.
    if (fetchingCatalog)
        return E_FAIL;
    ScopedFlag fetching(fetchingCatalog);
    try {
        HRESULT hr = OpenInternetSession();
        if (FAILED(hr))
            return hr;
        char* text = NULL;
        DWORD size = 0;
        hr = FetchCatalogText(internetSession, CatalogUrl(), &text, &size);
        if (FAILED(hr))
            return hr;
        // The catalogue already held stays until a new text has arrived whole.
        catalog.Clear();
        catalog.StoreText(text, static_cast<int>(size + 1));
        return catalog.ParseCatalog();
    } catch (...) {
        // The parser builds strings, which throw when memory runs out.
        return E_OUTOFMEMORY;
    }
}
