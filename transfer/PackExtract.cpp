// PackStream::Extract: one pass over a pack, straight from the source to the files.
#include "PackStream.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

#include <cstdio>
#include <cstring>
#include <new>

#include <process.h>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "DirectoryChain.h"
#include "PackFormat.h"
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

}  // namespace

HRESULT PackStream::Extract(const char* targetDir, CProgressCtrl* progress, const int* abortFlag)
{
    HRESULT hr = S_OK;
    PackHeader header;
    PackEntry* entries = NULL;
    BYTE* chunk = NULL;
    HANDLE output = INVALID_HANDLE_VALUE;
    CryptoPP::Weak1::MD5 md5;
    char targetPath[MAX_PATH];
    int pathLength = 0;
    DWORD got = 0;
    DWORD tableSize = 0;
    LONGLONG knownSize = -1;
    bool aborted = false;
    bool digestMismatch = false;

    // A read that fails once the abort flag is up was ended by the abort (the request
    // closed under it): that is a stop, not a failure.
#define READ_FULLY(buffer, size)                                                           \
    do {                                                                                   \
        if (FAILED(ReadFully(buffer, size, &got, bytes, abortFlag, &aborted))) {           \
            hr = IsAbortRequested(abortFlag) ? S_OK : E_FAIL;                              \
            goto CleanUp;                                                                  \
        }                                                                                  \
        bytes.Report();                                                                    \
        if (aborted || IsAbortRequested(abortFlag)) {                                      \
            hr = S_OK;                                                                     \
            goto CleanUp;                                                                  \
        }                                                                                  \
    } while (0)
#define CHECK(condition) do { if (!(condition)) { hr = E_FAIL; goto CleanUp; } } while (0)

    hr = Open();
    if (FAILED(hr))
        return hr;
    {
        ByteProgress bytes(progress, progressShift);
        bytes.SetRange(totalSize);
        bytes.Report();
        if (IsAbortRequested(abortFlag))
            return S_OK;

        READ_FULLY(&header, sizeof(header));
        CHECK(got == sizeof(header));
        // A pack without entries creates nothing, so its name is never used.
        CHECK(header.entryCount == 0 || IsContainedPackName(header.packName, sizeof(header.packName)));

        // Refuse a table that cannot exist, or is larger than any real kit needs,
        // before allocating room for it.
        CHECK(header.entryCount <= kMaxPackEntryCount);
        tableSize = header.entryCount * static_cast<DWORD>(sizeof(PackEntry));
        knownSize = KnownSize();
        CHECK(knownSize < 0 || sizeof(PackHeader) + static_cast<ULONGLONG>(tableSize) <=
                                   static_cast<ULONGLONG>(knownSize));
        entries = new (std::nothrow) PackEntry[header.entryCount ? header.entryCount : 1];
        CHECK(entries);
        READ_FULLY(entries, tableSize);
        CHECK(got == tableSize);

        chunk = new (std::nothrow) BYTE[kTransferBufferSize];
        CHECK(chunk);

        for (DWORD index = 0; index < header.entryCount; ++index) {
            const PackEntry& entry = entries[index];
            CHECK(IsContainedPackName(entry.fileName, sizeof(entry.fileName)));
            md5.Restart();
            // A fixed buffer: no allocation here that could throw past the cleanup, and
            // a path of MAX_PATH characters or more could not be created anyway.
            pathLength = snprintf(targetPath, sizeof(targetPath), "%s\\%s\\%s", targetDir, header.packName,
                                  entry.fileName);
            CHECK(pathLength >= 0 && pathLength < MAX_PATH);
            output = CreateFileWithParents(targetPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, NULL);
            CHECK(output != INVALID_HANDLE_VALUE);

            DWORD remaining = entry.fileSize;
            do {
                DWORD wanted = remaining < kTransferBufferSize ? remaining : kTransferBufferSize;
                READ_FULLY(chunk, wanted);
                // What arrived before the source ended is kept, then the entry fails.
                CHECK(HashAndWrite(md5, output, chunk, got));
                CHECK(got == wanted);
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
    }

CleanUp:
#undef CHECK
#undef READ_FULLY
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    delete[] chunk;
    delete[] entries;
    return hr;
}
