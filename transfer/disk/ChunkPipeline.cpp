#include "ChunkPipeline.h"

#include <process.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "ByteSource.h"
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
    Push(kEnd);
}

void ChunkPipeline::DropFile()
{
    Push(kDrop);
}

void ChunkPipeline::BeginCheck(const PackCheck& check)
{
    Item item;
    item.kind = kCheck;
    item.check = check;
    Push(item);
}

void ChunkPipeline::EndCheck()
{
    Push(kCheckEnd);
}

void ChunkPipeline::Push(ItemKind kind)
{
    Item item;
    item.kind = kind;
    Push(item);
}

HRESULT ChunkPipeline::WaitIdle()
{
    EnterCriticalSection(&lock_);
    while (Slowest() < pushed_ && (writer_ || hasher_))
        SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    LeaveCriticalSection(&lock_);
    return Failed() || InterlockedCompareExchange(&mismatch_, 0, 0) ? E_FAIL : S_OK;
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
    return Failed() || InterlockedCompareExchange(&mismatch_, 0, 0) ? E_FAIL : S_OK;
}

LONGLONG ChunkPipeline::Slowest() const
{
    return hashing_ && hashed_ < written_ ? hashed_ : written_;
}

namespace {

// Opens the file as `file` says; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenOutput(const OutputFile& file)
{
    HANDLE output = INVALID_HANDLE_VALUE;
    WhileHeld([&] {
        switch (file.opening) {
        case OutputFile::Opening::kCreateWithParents:
            output = CreateFileWithParents(file.path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, NULL);
            break;
        case OutputFile::Opening::kCreate:
            output = CreateFileA(file.path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
            break;
        case OutputFile::Opening::kWriteAt:
            output = CreateFileA(file.path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
            break;
        }
        return output != INVALID_HANDLE_VALUE;
    });
    if (output == INVALID_HANDLE_VALUE || file.opening != OutputFile::Opening::kWriteAt)
        return output;
    LARGE_INTEGER at;
    at.QuadPart = file.offset == kToTheEnd ? 0 : static_cast<LONGLONG>(file.offset);
    if (!SetFilePointerEx(output, at, NULL, file.offset == kToTheEnd ? FILE_END : FILE_BEGIN)) {
        CloseHandle(output);
        return INVALID_HANDLE_VALUE;
    }
    return output;
}

// Gives a closing file its time, as OutputFile says; `complete` once all of it is written.
void Stamp(HANDLE output, const OutputFile& file, bool complete)
{
    if (!file.stamped)
        return;
    if (file.allTimes && complete)
        SetFileTime(output, &file.time, &file.time, &file.time);
    else if (!file.allTimes)
        SetFileTime(output, NULL, &file.time, &file.time);
}

}  // namespace

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
            output = OpenOutput(file);
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
            Stamp(output, file, true);
            CloseHandle(output);
            output = INVALID_HANDLE_VALUE;
            break;
        case kDrop:
            if (output != INVALID_HANDLE_VALUE)
                CloseHandle(output);
            output = INVALID_HANDLE_VALUE;
            break;
        case kCheck:
        case kCheckEnd:
            break;
        }
        Release(&written_);
    }
    if (output != INVALID_HANDLE_VALUE) {
        Stamp(output, file, false);
        CloseHandle(output);
    }
}

// Each check's digest over exactly the chunks between its begin and its end, in order;
// a mismatch is reported here, so that the writer never waits for the hasher.
void ChunkPipeline::Hash()
{
    Item* item = NULL;
    FileDigest digest;
    PackCheck check = {};
    bool checking = false;
    while (NextItem(&hashed_, &item)) {
        switch (item->kind) {
        case kCheck:
            check = item->check;
            checking = true;
            digest.Restart();
            break;
        case kData:
            if (checking)
                digest.Update(buffers_[item->buffer], item->size);
            break;
        case kCheckEnd:
            if (checking && !digest.Matches(check.md5)) {
                if (check.retry) {
                    *check.retry = true;
                } else {
                    ReportMismatch(check.packName, check.fileName);
                    InterlockedExchange(&mismatch_, 1);
                }
            }
            checking = false;
            break;
        case kDrop:
            checking = false;
            break;
        case kBegin:
        case kEnd:
            break;
        }
        Release(&hashed_);
    }
}

void ReportMismatch(const char* packName, const char* fileName)
{
    printf("%s\\%s\r\nMD5 mismatch", packName, fileName);
    fflush(stdout);
}

HRESULT DeliverFrom(ByteSource& source, ULONGLONG size, ChunkPipeline& pipeline, ByteProgress& bytes,
                    const CancelToken& cancel)
{
    ULONGLONG remaining = size;
    do {
        const DWORD wanted = remaining < kTransferBufferSize ? static_cast<DWORD>(remaining) : kTransferBufferSize;
        BYTE* chunk = wanted > 0 ? pipeline.NextBuffer() : NULL;
        DWORD got = 0;
        HRESULT hr = ReadChunk(source, chunk, wanted, &got, bytes, cancel);
        if ((hr == S_OK || hr == E_FAIL) && got > 0)
            pipeline.Deliver(got);
        if (hr != S_OK)
            return hr;
        if (got != wanted || pipeline.Failed())
            return E_FAIL;
        remaining -= got;
    } while (remaining > 0);
    return S_OK;
}
