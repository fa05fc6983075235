// The flag through which the UI thread asks a running transfer or job to stop.
#pragma once

#include <windows.h>

// An int that goes from 0 to 1 once; the UI thread writes it and the worker polls it,
// so both sides use interlocked operations: the write is seen at the next poll.
inline void RequestAbort(int* abortFlag)
{
    InterlockedExchange(reinterpret_cast<volatile LONG*>(abortFlag), 1);
}

// Reads the flag afresh; a null flag never aborts.
inline bool IsAbortRequested(const int* abortFlag)
{
    return abortFlag &&
           InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(const_cast<int*>(abortFlag)), 0, 0) != 0;
}

static_assert(sizeof(int) == sizeof(LONG), "the flag is an int that Interlocked functions take as a LONG");
