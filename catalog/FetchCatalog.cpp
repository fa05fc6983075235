// DownloadDialog::OpenInternetSession, StartCatalogFetch and FetchCatalog: latest.xml into memory, then parsed.
#include "BackgroundFetch.h"
#include "CatalogFetch.h"
#include "CatalogUrl.h"
#include "CancelToken.h"
#include "DownloadDialog.h"

#include <new>

HRESULT DownloadDialog::OpenInternetSession()
{
    if (!internetSession)
        internetSession = OpenUpdateSession();
    return internetSession ? S_OK : E_FAIL;
}

HRESULT DownloadDialog::StartCatalogFetch()
{
    HRESULT hr = OpenInternetSession();
    if (FAILED(hr))
        return hr;
    std::unique_ptr<ProgressSink> progress(new (std::nothrow) DialogProgress(Controls()));
    catalogFetch = BackgroundFetch::Start(internetSession, CatalogUrl(), retrySettings, std::move(progress),
                                          GetSafeHwnd(), WM_CATALOG_FETCHED, ++fetchTicket);
    return catalogFetch ? S_OK : E_FAIL;
}

HRESULT DownloadDialog::FetchCatalog()
{
    try {
        HRESULT hr = OpenInternetSession();
        if (FAILED(hr))
            return hr;
        // Nothing stops this fetch but its own patience, and nothing shows its waits.
        CancelToken never;
        NoProgress unseen;
        return FetchAndParseCatalog(TransferEnv{internetSession, never, unseen, retrySettings}, CatalogUrl(),
                                    &catalog);
    } catch (...) {
        // The parser builds strings, which throw when memory runs out.
        return E_OUTOFMEMORY;
    }
}
