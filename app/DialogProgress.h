// The dialog's captions and bars, driven by what a running job reports.
#pragma once

#include <windows.h>

#include <afxstr.h>

#include "ProgressSink.h"

// Sent to the dialog when a job begins to wait for the link (wParam TRUE) and when the
// wait is over (FALSE), so that the taskbar button, which lives on the UI thread, shows it.
const UINT WM_LINK_WAITING = WM_USER + 103;

// The windows a job's progress goes to, all of the dialog's (UI) thread.
struct DialogControls {
    HWND dialog;
    HWND itemCaption;
    HWND itemBar;
    HWND overallCaption;
    HWND overallBar;
};

// Called on the thread that runs the job; every change is a message sent to a control,
// which the UI thread handles whenever it pumps messages, as it always does. Byte counts
// are scaled into the bars' 32-bit range. Only window handles are held, so a copy may
// outlive the dialog: its messages then reach no window.
class DialogProgress : public ProgressSink {
public:
    explicit DialogProgress(const DialogControls& controls) : controls_(controls) {}

    void JobStarted(int items) override;
    void ItemStarted(const char* caption) override;
    void BytesDone(ULONGLONG done, ULONGLONG total) override;
    void WaitingForLink(int secondsLeft) override;
    void ItemDone() override;

private:
    DialogControls controls_;
    // The total the item bar's range was set for; none yet for this item.
    static const ULONGLONG kNoRange = ~0ull;
    ULONGLONG total_ = kNoRange;
    // The shift that brings the item's total below 2^31 (ProgressShiftFor).
    int progressShift_ = 0;
    int itemsDone_ = 0;
    bool waiting_ = false;
    // The item caption's text before the wait's notice replaced it.
    CString ownCaption_;
};
