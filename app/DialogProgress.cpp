#include "DialogProgress.h"

#include <commctrl.h>

#include <cstdio>

#include "DialogTexts.h"
#include "ProgressScale.h"

void DialogProgress::JobStarted(int items)
{
    itemsDone_ = 0;
    SetWindowTextA(controls_.overallCaption, kOverallCaptionText);
    SendMessageA(controls_.overallBar, PBM_SETRANGE32, 0, items);
    SendMessageA(controls_.overallBar, PBM_SETPOS, 0, 0);
}

void DialogProgress::ItemStarted(const char* caption)
{
    total_ = kNoRange;
    SetWindowTextA(controls_.itemCaption, caption);
}

void DialogProgress::BytesDone(ULONGLONG done, ULONGLONG total)
{
    if (total != total_) {
        total_ = total;
        progressShift_ = ProgressShiftFor(static_cast<LONGLONG>(total));
        SendMessageA(controls_.itemBar, PBM_SETRANGE32, 0, ScaledProgress(total, progressShift_));
    }
    SendMessageA(controls_.itemBar, PBM_SETPOS, ScaledProgress(done, progressShift_), 0);
}

void DialogProgress::WaitingForLink(int secondsLeft)
{
    if (secondsLeft > 0) {
        if (!waiting_) {
            const int length = GetWindowTextLengthA(controls_.itemCaption);
            GetWindowTextA(controls_.itemCaption, ownCaption_.GetBuffer(length + 1), length + 1);
            ownCaption_.ReleaseBuffer();
            waiting_ = true;
            SendMessageA(controls_.dialog, WM_LINK_WAITING, TRUE, 0);
        }
        char notice[128];
        snprintf(notice, sizeof(notice), kRetryNoticeFormat, secondsLeft);
        SetWindowTextA(controls_.itemCaption, notice);
    } else if (waiting_) {
        waiting_ = false;
        SetWindowTextA(controls_.itemCaption, ownCaption_);
        SendMessageA(controls_.dialog, WM_LINK_WAITING, FALSE, 0);
    }
}

void DialogProgress::ItemDone()
{
    SendMessageA(controls_.overallBar, PBM_SETPOS, ++itemsDone_, 0);
}
