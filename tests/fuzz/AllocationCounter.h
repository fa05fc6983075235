// Counts the bytes held through operator new in this program, so that a test can bound what
// one call holds at its peak, also when the call fails right after a large allocation.
#pragma once

#include <cstddef>

namespace AllocationCounter {

size_t Held();
// The most held since the last ResetPeak().
size_t Peak();
// Starts a new peak at what is held now.
void ResetPeak();

}  // namespace AllocationCounter
