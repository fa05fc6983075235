// A progress bar moved by the bytes a transfer has consumed, scaled into its 32-bit range.
#pragma once

#include <afxcmn.h>

#include "ProgressScale.h"
#include "ServerAccess.h"

class ByteProgress {
public:
    // `bar` may be null: nothing is sent then.
    ByteProgress(CProgressCtrl* bar, int shift) : bar_(bar), shift_(shift) {}

    void SetRange(ULONGLONG total) const { Send(PBM_SETRANGE32, 0, ScaledProgress(total, shift_)); }

    void Add(ULONGLONG bytes) { consumed_ += bytes; }
    // Takes back bytes counted ahead (a file on disk that then had to be fetched).
    void TakeBack(ULONGLONG bytes) { consumed_ -= bytes < consumed_ ? bytes : consumed_; }
    ULONGLONG Consumed() const { return consumed_; }

    // Sends the position now.
    void Report()
    {
        lastReport_ = GetTickCount();
        Send(PBM_SETPOS, ScaledProgress(consumed_, shift_), 0);
    }

    // Sends the position when the last one is old enough: between chunk boundaries the
    // bar moves a few times a second however small the network pieces are.
    void ReportIfDue()
    {
        if (GetTickCount() - lastReport_ >= kProgressIntervalMs)
            Report();
    }

private:
    void Send(UINT message, WPARAM wParam, LPARAM lParam) const
    {
        if (bar_)
            SendMessageA(bar_->GetSafeHwnd(), message, wParam, lParam);
    }

    CProgressCtrl* bar_;
    int shift_;
    ULONGLONG consumed_ = 0;
    DWORD lastReport_ = 0;
};
