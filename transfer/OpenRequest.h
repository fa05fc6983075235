// The request a transfer is reading, published so that another thread can close it.
#pragma once

#include <windows.h>
#include <wininet.h>

// A read blocked on a stalled server ends on Windows when its request handle is
// closed. The transfer publishes each request it opens; the UI thread, once the user
// has confirmed an abort, closes whatever is published. Exactly one side closes a
// request: the one that takes it out of the slot.
class OpenRequest {
public:
    OpenRequest() = default;
    OpenRequest(const OpenRequest&) = delete;
    OpenRequest& operator=(const OpenRequest&) = delete;

    // The transfer's side, right after opening `request`.
    void Publish(HINTERNET request) { InterlockedExchangePointer(&request_, request); }

    // The transfer's side, when it is done with `request`: closes it unless the other
    // thread already has.
    void CloseOwn(HINTERNET request)
    {
        if (request && InterlockedCompareExchangePointer(&request_, NULL, request) == request)
            InternetCloseHandle(request);
    }

    // Any other thread: closes the published request, if there is one; the
    // transfer's current or next read of it then fails.
    void CloseFromOutside()
    {
        HINTERNET request = InterlockedExchangePointer(&request_, NULL);
        if (request)
            InternetCloseHandle(request);
    }

private:
    PVOID volatile request_ = NULL;
};

// A transfer may run without a slot (`slot` null): it then closes its requests itself.
inline void PublishRequest(OpenRequest* slot, HINTERNET request)
{
    if (slot && request)
        slot->Publish(request);
}

inline void CloseRequest(OpenRequest* slot, HINTERNET request)
{
    if (slot)
        slot->CloseOwn(request);
    else if (request)
        InternetCloseHandle(request);
}
