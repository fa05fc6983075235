// Scaling byte counts into the positive 32-bit range of a progress bar.
#pragma once

#include <windows.h>

// The number of significant bits of (size >> 31) as a 32-bit value: the smallest
// right shift that brings a non-negative size below 2^31.
inline int ProgressShiftFor(LONGLONG size)
{
    DWORD high = static_cast<DWORD>(static_cast<ULONGLONG>(size) >> 31);
    int shift = 0;
    while (high != 0 && shift < 32) {
        ++shift;
        high >>= 1;
    }
    return shift;
}

// The low 32 bits of `bytes` scaled by `shift`, as a progress position or bound.
inline DWORD ScaledProgress(ULONGLONG bytes, int shift)
{
    return static_cast<DWORD>(shift >= 64 ? 0 : bytes >> shift);
}
