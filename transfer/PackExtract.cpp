// PackStream::Extract: one pass over a pack, straight from the source to the files.
#include "PackStream.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

#include <cstdio>
#include <cstring>
#include <new>

#include <process.h>

#include "DirectoryChain.h"
#include "PackFormat.h"
#include "ProgressScale.h"
#include "ServerAccess.h"

namespace {

// Chunks this large are hashed on a second thread while the worker writes them.
const DWORD kParallelHashMinimum = 256 * 1024;
// MD5 needs little stack; a small one keeps the unpacker's memory to its buffers.
const unsigned kHashThreadStack = 64 * 1024;

struct HashTask {
    CryptoPP::Weak1::MD5* md5;
    const BYTE* data;
    DWORD size;
};

unsigned __stdcall HashChunk(void* raw)
{
    HashTask* task = static_cast<HashTask*>(raw);
    task->md5->Update(task->data, task->size);
    return 0;
}

// Hashes and writes one chunk. Both only read the buffer, so they run at the same
// time and a chunk costs the slower of the two instead of their sum; the hash has
// finished before the buffer is reused. Returns the write's success.
bool HashAndWrite(CryptoPP::Weak1::MD5& md5, HANDLE output, const BYTE* chunk, DWORD size)
{
    DWORD written = 0;
    HashTask task = {&md5, chunk, size};
    HANDLE hasher = NULL;
    if (size >= kParallelHashMinimum)
        hasher = reinterpret_cast<HANDLE>(
            _beginthreadex(NULL, kHashThreadStack, HashChunk, &task, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL));
    if (!hasher)
        HashChunk(&task);  // small chunk, or no thread to be had: hash here
    BOOL ok = WriteFile(output, chunk, size, &written, NULL);
    if (hasher) {
        WaitForSingleObject(hasher, INFINITE);
        CloseHandle(hasher);
    }
    return ok && written == size;
}

void SendProgress(CProgressCtrl* progress, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (progress)
        SendMessageA(progress->GetSafeHwnd(), message, wParam, lParam);
}

}  // namespace

HRESULT PackStream::Extract(const char* targetDir, CProgressCtrl* progress, const int* abortFlag)
{
    HRESULT hr = S_OK;
    PackHeader header;
    PackEntry* entries = NULL;
    BYTE* chunk = NULL;
    HANDLE output = INVALID_HANDLE_VALUE;
    CryptoPP::Weak1::MD5 md5;
    CString targetPath;
    ULONGLONG consumed = 0;
    DWORD got = 0;
    ULONGLONG tableSize = 0;
    LONGLONG knownSize = -1;
    bool digestMismatch = false;

    auto reportProgress = [&] {
        SendProgress(progress, PBM_SETPOS, ScaledProgress(consumed, progressShift), 0);
    };
#define CHECK(condition) do { if (!(condition)) { hr = E_FAIL; goto CleanUp; } } while (0)
#define STOP_IF_ABORTED() do { if (IsAbortRequested(abortFlag)) { hr = S_OK; goto CleanUp; } } while (0)

    hr = Open();
    if (FAILED(hr))
        return hr;
    SendProgress(progress, PBM_SETRANGE32, 0, ScaledProgress(totalSize, progressShift));
    SendProgress(progress, PBM_SETPOS, 0, 0);
    STOP_IF_ABORTED();

    CHECK(SUCCEEDED(ReadFully(&header, sizeof(header), &got)) && got == sizeof(header));
    consumed = sizeof(header);
    reportProgress();
    STOP_IF_ABORTED();
    CHECK(IsContainedPackName(header.packName, sizeof(header.packName)));

    // Refuse a table that cannot exist before allocating room for it.
    tableSize = static_cast<ULONGLONG>(header.entryCount) * sizeof(PackEntry);
    CHECK(header.entryCount <= kMaxPackEntryCount);
    knownSize = KnownSize();
    CHECK(knownSize < 0 ||
          sizeof(PackHeader) + tableSize <= static_cast<ULONGLONG>(knownSize));
    entries = new (std::nothrow) PackEntry[header.entryCount ? header.entryCount : 1];
    CHECK(entries);
    CHECK(SUCCEEDED(ReadFully(entries, static_cast<DWORD>(tableSize), &got)) && got == tableSize);
    consumed += got;
    reportProgress();
    STOP_IF_ABORTED();

    chunk = new (std::nothrow) BYTE[kTransferBufferSize];
    CHECK(chunk);

    for (DWORD index = 0; index < header.entryCount; ++index) {
        const PackEntry& entry = entries[index];
        CHECK(IsContainedPackName(entry.fileName, sizeof(entry.fileName)));
        md5.Restart();
        targetPath.Format("%s\\%s\\%s", targetDir, header.packName, entry.fileName);
        output = CreateFileWithParents(targetPath, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        CHECK(output != INVALID_HANDLE_VALUE);

        DWORD remaining = entry.fileSize;
        do {
            DWORD wanted = remaining < kTransferBufferSize ? remaining : kTransferBufferSize;
            CHECK(SUCCEEDED(Read(chunk, wanted, &got)));
            CHECK(got <= remaining);
            CHECK(got > 0 || remaining == 0);
            consumed += got;
            reportProgress();
            STOP_IF_ABORTED();
            CHECK(HashAndWrite(md5, output, chunk, got));
            remaining -= got;
        } while (remaining > 0);

        SetFileTime(output, &entry.fileTime, &entry.fileTime, &entry.fileTime);
        CloseHandle(output);
        output = INVALID_HANDLE_VALUE;

        BYTE digest[CryptoPP::Weak1::MD5::DIGESTSIZE];
        md5.Final(digest);
        if (memcmp(digest, entry.md5, sizeof(digest)) != 0) {
            printf("%s\\%s\r\nMD5 mismatch", header.packName, entry.fileName);
            fflush(stdout);
            digestMismatch = true;
        }
    }
    hr = digestMismatch ? E_FAIL : S_OK;

CleanUp:
#undef CHECK
#undef STOP_IF_ABORTED
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    delete[] chunk;
    delete[] entries;
    return hr;
}
