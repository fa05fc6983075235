// What every transfer is handed by whoever starts it, instead of the dialog.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxcmn.h>

#include "AnswerJudge.h"

class CancelToken;

// How long a link may stay silent, how long to keep trying, and where a wait is told.
// The program keeps the defaults; tests shorten them.
struct RetrySettings {
    DWORD receiveTimeoutMs = 30 * 1000;
    DWORD connectTimeoutMs = 30 * 1000;
    Patience patience;
    // The caption that shows the wait, with `noticeFormat` (a printf format taking the
    // seconds left as an int), and gets its own text back when data flows again. Either
    // may be null: then no wait is shown.
    HWND notice = NULL;
    const char* noticeFormat = nullptr;
};

// The session every request goes through (borrowed), the token that stops the transfer,
// the bar it moves (may be null) and how it rides out a bad link.
struct TransferEnv {
    HINTERNET session;
    CancelToken& cancel;
    CProgressCtrl* progress;
    RetrySettings retry;
};
