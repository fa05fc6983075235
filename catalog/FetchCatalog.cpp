// DownloadDialog::OpenInternetSession, StartCatalogFetch and FetchCatalog: latest.xml into memory, then parsed.
#include "BackgroundFetch.h"
#include "CatalogFetch.h"
#include "CatalogUrl.h"
#include "CancelToken.h"
#include "DownloadDialog.h"

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
    catalogFetch = BackgroundFetch::Start(internetSession, CatalogUrl(), RetryOnItemCaption(), GetSafeHwnd(),
                                          WM_CATALOG_FETCHED,
                                          ++fetchTicket);
    return catalogFetch ? S_OK : E_FAIL;
}

HRESULT DownloadDialog::FetchCatalog()
{
    try {
        HRESULT hr = OpenInternetSession();
        if (FAILED(hr))
            return hr;
        // Nothing stops this fetch but its own patience.
        CancelToken never;
        return FetchAndParseCatalog(TransferEnv{internetSession, never, nullptr, retrySettings}, CatalogUrl(),
                                    &catalog);
    } catch (...) {
        // The parser builds strings, which throw when memory runs out.
        return E_OUTOFMEMORY;
    }
}
