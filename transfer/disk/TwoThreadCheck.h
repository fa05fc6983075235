// Checking what an earlier run left on disk on two cores: while one thread reads and
// hashes one file, another reads and hashes the next.
#pragma once

#include <windows.h>

class ByteProgress;
class CancelToken;

// The check of one item, which either thread may run.
class ItemCheck {
public:
    // Reads the item with `scratch` (`scratchSize` bytes), adding each chunk it reads to
    // *read with InterlockedExchangeAdd64, and tells whether it passed. *kept is a handle
    // the check may leave open for the next item of the same thread (closed once all are
    // done; INVALID_HANDLE_VALUE at first). S_OK, or E_ABORT once the token is cancelled.
    virtual HRESULT Check(DWORD index, BYTE* scratch, DWORD scratchSize, volatile LONGLONG* read, HANDLE* kept,
                          bool* passed) = 0;

protected:
    ~ItemCheck() = default;
};

// Runs `check` on the items 0 .. count - 1 (`skip[index]` set: not checked, not passed),
// at most two at a time: on two threads of their own, the first with `scratch` (of
// kTransferBufferSize bytes), the second with a buffer of its own while they run; this
// thread moves `progress` with the bytes read a few times a second. The bytes of an item
// that does not pass are taken back once all are done, so that the progress ends as
// checking the items one by one would. Where the second thread or its buffer cannot be
// had, the first checks everything. S_OK, E_ABORT once `cancel` is cancelled, or E_FAIL
// when no thread can be had.
HRESULT CheckOnTwoThreads(ItemCheck& check, DWORD count, const bool* skip, BYTE* scratch, ByteProgress& progress,
                          const CancelToken& cancel, bool* passed);
