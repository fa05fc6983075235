// How the UI thread stops a running transfer or job: one object, one call.
#pragma once

#include <windows.h>
#include <wininet.h>

// The flag the transfers poll and the slot holding the request they are reading. A read
// blocked on a stalled server ends on Windows when its request handle is closed, so
// Cancel() both raises the flag and closes the published request. Exactly one side closes
// a request: the one that takes it out of the slot. A transfer that stops because of the
// token returns E_ABORT, which its callers pass on unchanged.
class CancelToken {
public:
    CancelToken() : event_(CreateEventA(NULL, TRUE, FALSE, NULL)) {}
    ~CancelToken()
    {
        if (event_)
            CloseHandle(event_);
    }
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    // Any thread, any number of times: the flag goes up once, every wait ends, and the
    // request being read is closed, so that its current or next read fails.
    void Cancel()
    {
        InterlockedExchange(&cancelled_, 1);
        if (event_)
            SetEvent(event_);
        HINTERNET request = InterlockedExchangePointer(&request_, NULL);
        if (request)
            InternetCloseHandle(request);
    }

    // Read afresh at every call.
    bool IsCancelled() const { return InterlockedCompareExchange(&cancelled_, 0, 0) != 0; }

    // Waits `ms` milliseconds, or less when the token is cancelled meanwhile: true then.
    bool WaitCancelled(DWORD ms) const
    {
        if (!event_)
            Sleep(ms);
        else
            WaitForSingleObject(event_, ms);
        return IsCancelled();
    }

    // The transfer's side, right after opening `request`.
    void Publish(HINTERNET request) { InterlockedExchangePointer(&request_, request); }

    // The transfer's side, when it is done with `request`: closes it unless Cancel() has.
    void Close(HINTERNET request)
    {
        if (request && InterlockedCompareExchangePointer(&request_, NULL, request) == request)
            InternetCloseHandle(request);
    }

private:
    // Manual reset, set by Cancel(); null when it could not be made (waits then sleep).
    HANDLE event_;
    mutable volatile LONG cancelled_ = 0;
    PVOID volatile request_ = NULL;
};

// What a job's caller shows for a result: a job stopped by its token is no failure.
inline HRESULT AbortIsNoFailure(HRESULT hr)
{
    return hr == E_ABORT ? S_OK : hr;
}
