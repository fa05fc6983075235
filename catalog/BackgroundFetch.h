// The catalogue fetched and parsed on a thread of its own, so that the dialog keeps
// answering while the link is slow, drops or stalls.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>

#include "CancelToken.h"
#include "ProgressSink.h"
#include "TransferEnv.h"
#include "UpdateCatalog.h"

class BackgroundFetch {
public:
    // Starts fetching `url` through `session` (borrowed: it must stay open while any fetch
    // runs, see AnyRunning), telling `progress` its waits for the link. When the fetch
    // ends and has not been abandoned, `message` is posted to `window` with `ticket` as
    // wParam. Null when no thread can be started.
    static BackgroundFetch* Start(HINTERNET session, const char* url, const RetrySettings& retry,
                                  std::unique_ptr<ProgressSink> progress, HWND window, UINT message, WPARAM ticket);

    // After the message: the fetch's result; when a text arrived, `catalog` is replaced
    // by what was fetched and parsed (as FetchAndParseCatalog leaves it). Frees this object.
    HRESULT Finish(UpdateCatalog* catalog);

    // Stops the fetch and forgets it: nothing is posted any more, and the thread frees
    // the object when it ends. A read that Wine never ends keeps the thread until the
    // process ends; nothing waits for it.
    void Abandon();

    // True while any fetch thread, abandoned or not, is still running: the session it
    // reads must not be closed under it, and the process must not wait for it.
    static bool AnyRunning();

private:
    BackgroundFetch() = default;
    ~BackgroundFetch() = default;
    static unsigned __stdcall ThreadMain(void* self);
    void Run();
    void Release();

    HINTERNET session_ = NULL;
    char url_[INTERNET_MAX_URL_LENGTH] = "";
    RetrySettings retry_;
    // Owned: an abandoned fetch may outlive whoever started it.
    std::unique_ptr<ProgressSink> progress_;
    HWND window_ = NULL;
    UINT message_ = 0;
    WPARAM ticket_ = 0;
    CancelToken cancel_;
    UpdateCatalog catalog_;
    HRESULT result_ = E_FAIL;
    // The dialog's reference and the thread's.
    volatile LONG references_ = 2;
};
