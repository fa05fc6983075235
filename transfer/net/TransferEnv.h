// What every transfer is handed by whoever starts it, instead of the dialog.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "AnswerJudge.h"

class CancelToken;
class ProgressSink;

// How long a link may stay silent, and how long and how often to try again. The program
// keeps the defaults; tests shorten them.
struct RetrySettings {
    DWORD receiveTimeoutMs = 30 * 1000;
    DWORD connectTimeoutMs = 30 * 1000;
    Patience patience;
};

// The session every request goes through (borrowed), the token that stops the transfer,
// where its progress and its waits for the link are told, and how it rides out a bad link.
struct TransferEnv {
    HINTERNET session;
    CancelToken& cancel;
    ProgressSink& progress;
    RetrySettings retry;
};
