// Retry timing for tests: the program's rules, at a pace a test can wait for.
#pragma once

#include "HttpSource.h"

// Waits of 10, 20, 40, 80 and 160 ms instead of 1 to 16 s, and a link silent for 2 s
// given up instead of 30 s.
inline RetrySettings QuickRetry()
{
    RetrySettings retry;
    retry.firstWaitMs = 10;
    retry.receiveTimeoutMs = 2000;
    return retry;
}
