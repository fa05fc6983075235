// The test program's own operator new and delete (the product's code is linked into it
// statically): they count the bytes held, so that a test can bound what one call holds
// at its peak, and they can make one chosen allocation fail.
#pragma once

#include <windows.h>

#include <cstddef>

namespace TestAllocator {

size_t Held();
// The most held since the last ResetPeak().
size_t Peak();
// Starts a new peak at what is held now.
void ResetPeak();

// Makes allocation number `index` (0: the next one) on thread `threadId` fail: operator
// new throws std::bad_alloc, the nothrow form returns null. Later ones succeed again.
void FailAllocation(DWORD threadId, long index);
// Whether the armed allocation has failed since FailAllocation.
bool FailureHappened();
// Disarms a failure that has not happened.
void StopFailing();

}  // namespace TestAllocator
