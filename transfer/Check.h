// The one test-and-jump of the product's cleanup blocks.
#pragma once

#include <windows.h>

// In a function that declares `HRESULT hr` and ends with a `CleanUp:` label that releases
// everything: a false condition makes the result E_FAIL and goes to the cleanup.
#define CHECK(condition)          \
    do {                          \
        if (!(condition)) {       \
            hr = E_FAIL;          \
            goto CleanUp;         \
        }                         \
    } while (0)
