// One open Win32 handle, closed where its owner goes out of scope (7-Zip's CHandle).
#pragma once

#include <windows.h>

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // INVALID_HANDLE_VALUE (and NULL) mean none.
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != NULL; }
    HANDLE Get() const { return handle_; }
    void Attach(HANDLE handle)
    {
        Close();
        handle_ = handle;
    }
    HANDLE Detach()
    {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    // Where the data depends on it, the caller checks what the close returned.
    bool Close()
    {
        if (!IsOpen())
            return true;
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
