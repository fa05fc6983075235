#include "TwoThreadCheck.h"

#include <process.h>

#include <memory>
#include <new>

#include "ByteProgress.h"
#include "CancelToken.h"
#include "ServerAccess.h"

namespace {

const unsigned kCheckStack = 256 * 1024;
// Reads of this size let the system read ahead while the chunk before is hashed.
const DWORD kCheckReadSize = 1 << 20;

// What both checking threads share: the items, and the next one to take.
struct Work {
    ItemCheck* check;
    DWORD count;
    const bool* skip;
    bool* passed;
    // Each item's bytes read, once its check has ended.
    LONGLONG* itemRead;
    volatile LONG next;
    volatile LONG aborted;
};

// One checking thread: its buffer, and the bytes it has read so far.
struct Checker {
    Work* work;
    BYTE* scratch;
    volatile LONGLONG finished;
    volatile LONGLONG current;
    HANDLE thread;
    HANDLE kept;
};

unsigned __stdcall CheckerMain(void* param)
{
    Checker& checker = *static_cast<Checker*>(param);
    Work& work = *checker.work;
    for (;;) {
        const DWORD index = static_cast<DWORD>(InterlockedIncrement(&work.next) - 1);
        if (index >= work.count || InterlockedCompareExchange(&work.aborted, 0, 0))
            return 0;
        if (work.skip && work.skip[index])
            continue;
        bool passed = false;
        const HRESULT hr =
            work.check->Check(index, checker.scratch, kCheckReadSize, &checker.current, &checker.kept, &passed);
        const LONGLONG read = InterlockedExchange64(&checker.current, 0);
        work.itemRead[index] = read;
        work.passed[index] = passed;
        InterlockedExchangeAdd64(&checker.finished, read);
        if (hr != S_OK)
            InterlockedExchange(&work.aborted, 1);
    }
}

LONGLONG ReadSoFar(const Checker* checkers, int count)
{
    LONGLONG read = 0;
    for (int i = 0; i < count; ++i)
        read += InterlockedCompareExchange64(const_cast<volatile LONGLONG*>(&checkers[i].finished), 0, 0) +
                InterlockedCompareExchange64(const_cast<volatile LONGLONG*>(&checkers[i].current), 0, 0);
    return read;
}

}  // namespace

HRESULT CheckOnTwoThreads(ItemCheck& check, DWORD count, const bool* skip, BYTE* scratch, ByteProgress& progress,
                          const CancelToken& cancel, bool* passed)
{
    std::unique_ptr<LONGLONG[]> itemRead(new (std::nothrow) LONGLONG[count ? count : 1]());
    if (!itemRead)
        return E_FAIL;
    for (DWORD index = 0; index < count; ++index)
        passed[index] = false;
    Work work = {&check, count, skip, passed, itemRead.get(), 0, 0};
    std::unique_ptr<BYTE[]> second(new (std::nothrow) BYTE[kTransferBufferSize]);
    Checker checkers[2] = {{&work, scratch, 0, 0, NULL, INVALID_HANDLE_VALUE},
                           {&work, second.get(), 0, 0, NULL, INVALID_HANDLE_VALUE}};
    HANDLE threads[2];
    int running = 0;
    for (Checker& checker : checkers) {
        if (!checker.scratch)
            continue;
        checker.thread = reinterpret_cast<HANDLE>(
            _beginthreadex(NULL, kCheckStack, &CheckerMain, &checker, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL));
        if (checker.thread)
            threads[running++] = checker.thread;
    }
    // Without a thread of its own, the first checker runs here.
    if (running == 0)
        CheckerMain(&checkers[0]);
    LONGLONG shown = 0;
    for (;;) {
        const DWORD waited = running ? WaitForMultipleObjects(running, threads, TRUE, kProgressIntervalMs)
                                     : WAIT_OBJECT_0;
        const LONGLONG read = ReadSoFar(checkers, 2);
        if (read > shown) {
            progress.Add(static_cast<ULONGLONG>(read - shown));
            shown = read;
            progress.ReportIfDue();
        }
        if (waited != WAIT_TIMEOUT)
            break;
    }
    for (int i = 0; i < running; ++i) {
        WaitForSingleObject(threads[i], INFINITE);
        CloseHandle(threads[i]);
    }
    for (Checker& checker : checkers) {
        if (checker.kept != INVALID_HANDLE_VALUE)
            CloseHandle(checker.kept);
    }
    if (work.aborted || cancel.IsCancelled())
        return E_ABORT;
    // Only the bytes of items that passed count as done; the others are counted as they arrive.
    for (DWORD index = 0; index < count; ++index) {
        if (!passed[index])
            progress.TakeBack(static_cast<ULONGLONG>(itemRead[index]));
    }
    return S_OK;
}
