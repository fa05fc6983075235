// Retry timing for tests: the program's rules, at a pace a test can wait for.
#pragma once

#include "HttpSource.h"

// Waits of 10, 20, 40 and then 80 ms instead of 1, 2, 4 ... 30 s; trying given up after
// 3 s without progress instead of 2 min (300 ms instead of 30 s for a first contact); a
// link silent for 2 s given up instead of 30 s.
inline RetrySettings QuickRetry()
{
    RetrySettings retry;
    retry.patience.firstWaitMs = 10;
    retry.patience.longestWaitMs = 80;
    retry.patience.windowMs = 3000;
    retry.patience.firstContactMs = 300;
    retry.receiveTimeoutMs = 2000;
    return retry;
}
