#include "BackgroundFetch.h"

#include <objbase.h>
#include <process.h>

#include <cstring>
#include <new>

#include "CatalogFetch.h"

namespace {

volatile LONG runningFetches = 0;

}  // namespace

BackgroundFetch* BackgroundFetch::Start(HINTERNET session, const char* url, const RetrySettings& retry,
                                        std::unique_ptr<ProgressSink> progress, HWND window, UINT message,
                                        WPARAM ticket)
{
    if (strlen(url) >= sizeof(url_) || !progress)
        return nullptr;
    BackgroundFetch* fetch = new (std::nothrow) BackgroundFetch;
    if (!fetch)
        return nullptr;
    fetch->session_ = session;
    strcpy(fetch->url_, url);
    fetch->retry_ = retry;
    fetch->progress_ = std::move(progress);
    fetch->window_ = window;
    fetch->message_ = message;
    fetch->ticket_ = ticket;
    InterlockedIncrement(&runningFetches);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, &BackgroundFetch::ThreadMain, fetch, 0, NULL));
    if (!thread) {
        InterlockedDecrement(&runningFetches);
        delete fetch;
        return nullptr;
    }
    CloseHandle(thread);
    return fetch;
}

unsigned __stdcall BackgroundFetch::ThreadMain(void* self)
{
    static_cast<BackgroundFetch*>(self)->Run();
    return 0;
}

void BackgroundFetch::Run()
{
    // The parser is MSXML's, on this thread's own apartment.
    HRESULT com = CoInitialize(NULL);
    result_ = FetchAndParseCatalog(TransferEnv{session_, cancel_, *progress_, retry_}, url_, &catalog_);
    // An abandoned fetch touches nothing of the dialog, which may be gone.
    if (!cancel_.IsCancelled())
        PostMessageA(window_, message_, ticket_, 0);
    if (SUCCEEDED(com))
        CoUninitialize();
    Release();
    InterlockedDecrement(&runningFetches);
}

HRESULT BackgroundFetch::Finish(UpdateCatalog* catalog)
{
    HRESULT hr = result_;
    if (catalog_.xmlText)
        catalog->TakeFrom(catalog_);
    Release();
    return hr;
}

void BackgroundFetch::Abandon()
{
    // On Windows this also ends a read that the server has stopped answering.
    cancel_.Cancel();
    Release();
}

bool BackgroundFetch::AnyRunning()
{
    return InterlockedCompareExchange(&runningFetches, 0, 0) != 0;
}

void BackgroundFetch::Release()
{
    if (InterlockedDecrement(&references_) == 0)
        delete this;
}
