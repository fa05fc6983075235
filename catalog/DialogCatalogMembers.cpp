// DownloadDialog::OpenInternetSession, StartCatalogFetch and FetchCatalog: the catalogue
// fetch (CatalogFetch.h, BackgroundFetch.h) on the dialog's session, catalogue and controls.
#include <new>

#include "BackgroundFetch.h"
#include "CancelToken.h"
#include "CatalogFetch.h"
#include "CatalogUrl.h"
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
    std::unique_ptr<ProgressSink> progress(new (std::nothrow) DialogProgress(Controls()));
    catalogFetch = BackgroundFetch::Start(internetSession, CatalogUrl(), retrySettings, std::move(progress),
                                          GetSafeHwnd(), WM_CATALOG_FETCHED, ++fetchTicket);
    return catalogFetch ? S_OK : E_FAIL;
}

HRESULT DownloadDialog::FetchCatalog()
{
    HRESULT hr = OpenInternetSession();
    if (FAILED(hr))
        return hr;
    // Nothing stops this fetch but its own patience, and nothing shows its waits.
    CancelToken never;
    NoProgress unseen;
    return FetchAndParseCatalog(Env(unseen, never), CatalogUrl(), &catalog);
}
