#include "TestAllocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> held{0};
std::atomic<size_t> peak{0};
std::atomic<DWORD> failingThread{0};
std::atomic<long> allocationsBeforeFailure{-1};
std::atomic<bool> failureHappened{false};
// Each block starts with its size, in a header that keeps the alignment new must give.
const size_t kHeader = alignof(std::max_align_t);

bool ShouldFail()
{
    if (failingThread.load() != GetCurrentThreadId())
        return false;
    if (allocationsBeforeFailure.fetch_sub(1) != 0)
        return false;
    failingThread = 0;
    failureHappened = true;
    return true;
}

void* Allocate(size_t size) noexcept
{
    if (ShouldFail())
        return nullptr;
    char* block = size <= SIZE_MAX - kHeader ? static_cast<char*>(malloc(size + kHeader)) : nullptr;
    if (!block)
        return nullptr;
    *reinterpret_cast<size_t*>(block) = size;
    const size_t now = held += size;
    size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return block + kHeader;
}

void* AllocateOrThrow(size_t size)
{
    void* pointer = Allocate(size);
    if (!pointer)
        throw std::bad_alloc();
    return pointer;
}

void Release(void* pointer) noexcept
{
    if (!pointer)
        return;
    char* block = static_cast<char*>(pointer) - kHeader;
    held -= *reinterpret_cast<size_t*>(block);
    free(block);
}

}  // namespace

size_t TestAllocator::Held() { return held.load(); }
size_t TestAllocator::Peak() { return peak.load(); }
void TestAllocator::ResetPeak() { peak = held.load(); }

void TestAllocator::FailAllocation(DWORD threadId, long index)
{
    failureHappened = false;
    allocationsBeforeFailure = index;
    failingThread = threadId;
}

bool TestAllocator::FailureHappened() { return failureHappened.load(); }
void TestAllocator::StopFailing() { failingThread = 0; }

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
