#include "ChunkPipeline.h"

#include <process.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "DirectoryChain.h"
#include "FileDigest.h"
#include "HeldFiles.h"
#include "ServerAccess.h"

namespace {

// Each stage needs little stack beyond what the file calls take.
const unsigned kStageStack = 256 * 1024;

HANDLE StartStage(unsigned(__stdcall* main)(void*), void* self)
{
    return reinterpret_cast<HANDLE>(
        _beginthreadex(NULL, kStageStack, main, self, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL));
}

void StopStage(HANDLE* stage)
{
    if (*stage) {
        WaitForSingleObject(*stage, INFINITE);
        CloseHandle(*stage);
        *stage = NULL;
    }
}

}  // namespace

ChunkPipeline::ChunkPipeline()
{
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
}

ChunkPipeline::~ChunkPipeline()
{
    Finish();
    for (BYTE* buffer : buffers_)
        delete[] buffer;
    DeleteCriticalSection(&lock_);
}

HRESULT ChunkPipeline::Start(bool hashing)
{
    hashing_ = hashing;
    for (BYTE*& buffer : buffers_) {
        buffer = new (std::nothrow) BYTE[kTransferBufferSize];
        if (!buffer)
            return E_FAIL;
    }
    writer_ = StartStage(&ChunkPipeline::WriterMain, this);
    if (hashing_ && writer_)
        hasher_ = StartStage(&ChunkPipeline::HasherMain, this);
    if (!writer_ || (hashing_ && !hasher_)) {
        Finish();
        return E_FAIL;
    }
    return S_OK;
}

void ChunkPipeline::BeginFile(const OutputFile& file)
{
    Item item;
    item.kind = kBegin;
    item.file = file;
    Push(item);
}

BYTE* ChunkPipeline::NextBuffer()
{
    EnterCriticalSection(&lock_);
    for (;;) {
        for (int buffer = 0; buffer < kBuffers; ++buffer) {
            if (!BufferInUse(buffer)) {
                filling_ = buffer;
                LeaveCriticalSection(&lock_);
                return buffers_[buffer];
            }
        }
        SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    }
}

void ChunkPipeline::Deliver(DWORD size)
{
    Item item;
    item.kind = kData;
    item.buffer = filling_;
    item.size = size;
    Push(item);
    EnterCriticalSection(&lock_);
    filling_ = -1;
    LeaveCriticalSection(&lock_);
}

void ChunkPipeline::EndFile()
{
    Item item;
    item.kind = kEnd;
    item.verdict = -1;
    Push(item);
}

void ChunkPipeline::DropFile()
{
    Item item;
    item.kind = kDrop;
    Push(item);
}

bool ChunkPipeline::Failed() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&failed_), 0, 0) != 0;
}

HRESULT ChunkPipeline::Finish()
{
    EnterCriticalSection(&lock_);
    ending_ = true;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
    StopStage(&writer_);
    StopStage(&hasher_);
    return Failed() || mismatch_ ? E_FAIL : S_OK;
}

LONGLONG ChunkPipeline::Slowest() const
{
    return hashing_ && hashed_ < written_ ? hashed_ : written_;
}

void ChunkPipeline::Push(const Item& item)
{
    EnterCriticalSection(&lock_);
    while (pushed_ - Slowest() >= kItems)
        SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    items_[pushed_ % kItems] = item;
    ++pushed_;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
}

bool ChunkPipeline::BufferInUse(int buffer) const
{
    if (buffer == filling_)
        return true;
    for (LONGLONG position = Slowest(); position < pushed_; ++position) {
        const Item& item = items_[position % kItems];
        if (item.kind == kData && item.buffer == buffer)
            return true;
    }
    return false;
}

bool ChunkPipeline::NextItem(LONGLONG* position, Item** item)
{
    EnterCriticalSection(&lock_);
    while (*position == pushed_ && !ending_)
        SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    bool more = *position < pushed_;
    *item = more ? &items_[*position % kItems] : NULL;
    LeaveCriticalSection(&lock_);
    return more;
}

void ChunkPipeline::Release(LONGLONG* position)
{
    EnterCriticalSection(&lock_);
    ++*position;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
}

unsigned __stdcall ChunkPipeline::WriterMain(void* self)
{
    static_cast<ChunkPipeline*>(self)->Write();
    return 0;
}

unsigned __stdcall ChunkPipeline::HasherMain(void* self)
{
    static_cast<ChunkPipeline*>(self)->Hash();
    return 0;
}

// Creates, writes, stamps and closes the files in order. After a failure nothing more is
// created or written; the file open then is closed as it is. What was handed over before
// an abort is written: the receiving side stops handing over once the flag is up.
void ChunkPipeline::Write()
{
    HANDLE output = INVALID_HANDLE_VALUE;
    // A copy: the item's slot is reused once both stages have passed it.
    OutputFile file = {};
    bool stopped = false;
    Item* item = NULL;
    while (NextItem(&written_, &item)) {
        if (!stopped && Failed())
            stopped = true;
        if (stopped) {
            Release(&written_);
            continue;
        }
        switch (item->kind) {
        case kBegin:
            file = item->file;
            WhileHeld([&] {
                output = file.withParents
                             ? CreateFileWithParents(file.path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                                     FILE_ATTRIBUTE_NORMAL, NULL)
                             : CreateFileA(file.path, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                           file.append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
                return output != INVALID_HANDLE_VALUE;
            });
            if (output != INVALID_HANDLE_VALUE && file.append) {
                LARGE_INTEGER none = {};
                if (!SetFilePointerEx(output, none, NULL, FILE_END)) {
                    CloseHandle(output);
                    output = INVALID_HANDLE_VALUE;
                }
            }
            if (output == INVALID_HANDLE_VALUE)
                InterlockedExchange(&failed_, 1);
            break;
        case kData: {
            DWORD written = 0;
            if (!WriteFile(output, buffers_[item->buffer], item->size, &written, NULL) || written != item->size)
                InterlockedExchange(&failed_, 1);
            break;
        }
        case kEnd:
            if (file.fromPack)
                SetFileTime(output, &file.time, &file.time, &file.time);
            else if (file.stampWriteTime)
                SetFileTime(output, NULL, &file.time, &file.time);
            CloseHandle(output);
            output = INVALID_HANDLE_VALUE;
            if (file.fromPack && hashing_) {
                EnterCriticalSection(&lock_);
                while (item->verdict < 0)
                    SleepConditionVariableCS(&changed_, &lock_, INFINITE);
                LeaveCriticalSection(&lock_);
                if (item->verdict > 0) {
                    printf("%s\\%s\r\nMD5 mismatch", file.packName, file.fileName);
                    fflush(stdout);
                    mismatch_ = true;
                }
            }
            break;
        case kDrop:
            if (output != INVALID_HANDLE_VALUE)
                CloseHandle(output);
            output = INVALID_HANDLE_VALUE;
            break;
        }
        Release(&written_);
    }
    if (output != INVALID_HANDLE_VALUE) {
        if (file.stampWriteTime)
            SetFileTime(output, NULL, &file.time, &file.time);
        CloseHandle(output);
    }
}

// Each file's digest over exactly its chunks, in order; the verdict goes to the file's
// end item, where the writer reports a mismatch once the file is closed.
void ChunkPipeline::Hash()
{
    Item* item = NULL;
    FileDigest digest;
    BYTE expected[16] = {};
    while (NextItem(&hashed_, &item)) {
        switch (item->kind) {
        case kBegin:
            digest.Restart();
            memcpy(expected, item->file.md5, sizeof(expected));
            break;
        case kData:
            digest.Update(buffers_[item->buffer], item->size);
            break;
        case kEnd: {
            const bool matches = digest.Matches(expected);
            EnterCriticalSection(&lock_);
            item->verdict = matches ? 0 : 1;
            WakeAllConditionVariable(&changed_);
            LeaveCriticalSection(&lock_);
            break;
        }
        case kDrop:
            break;
        }
        Release(&hashed_);
    }
}
