// PackStream::Extract: one pass over a pack, straight from the source to the files.
#include "PackStream.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "Check.h"
#include "ChunkPipeline.h"
#include "PackFormat.h"
#include "ServerAccess.h"

HRESULT PackStream::Extract(const char* targetDir, CProgressCtrl* progress, const int* abortFlag)
{
    HRESULT hr = S_OK;
    PackHeader header;
    PackEntry* entries = NULL;
    ChunkPipeline pipeline;
    OutputFile file;
    BYTE* chunk = NULL;
    DWORD got = 0;
    DWORD tableSize = 0;
    LONGLONG knownSize = -1;
    bool aborted = false;
    int pathLength = 0;

    // Reads `size` bytes; stops with S_OK when the abort flag is up, also when the read
    // failed because the abort closed the request under it.
#define READ_FULLY(buffer, size)                                                           \
    do {                                                                                   \
        if (FAILED(ReadFully(buffer, size, &got, bytes, abortFlag, &aborted))) {           \
            aborted = IsAbortRequested(abortFlag);                                         \
            hr = aborted ? S_OK : E_FAIL;                                                  \
            goto CleanUp;                                                                  \
        }                                                                                  \
        bytes.Report();                                                                    \
        if (aborted || IsAbortRequested(abortFlag)) {                                      \
            aborted = true;                                                                \
            goto CleanUp;                                                                  \
        }                                                                                  \
    } while (0)

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
        if (header.entryCount == 0)
            goto CleanUp;
        CHECK(IsContainedPackName(header.packName, sizeof(header.packName)));

        // Refuse a table that cannot exist, or is larger than any real kit needs,
        // before allocating room for it.
        CHECK(header.entryCount <= kMaxPackEntryCount);
        tableSize = header.entryCount * static_cast<DWORD>(sizeof(PackEntry));
        knownSize = KnownSize();
        CHECK(knownSize < 0 || sizeof(PackHeader) + static_cast<ULONGLONG>(tableSize) <=
                                   static_cast<ULONGLONG>(knownSize));
        entries = new (std::nothrow) PackEntry[header.entryCount];
        CHECK(entries);
        READ_FULLY(entries, tableSize);
        CHECK(got == tableSize);

        // From here the next chunk arrives while the writer and the hasher work on the
        // ones before it.
        CHECK(SUCCEEDED(pipeline.Start(true)));
        for (DWORD index = 0; index < header.entryCount; ++index) {
            const PackEntry& entry = entries[index];
            CHECK(IsContainedPackName(entry.fileName, sizeof(entry.fileName)));
            // A fixed buffer: a path of MAX_PATH characters or more could not be created.
            pathLength = snprintf(file.path, sizeof(file.path), "%s\\%s\\%s", targetDir, header.packName,
                                  entry.fileName);
            CHECK(pathLength >= 0 && pathLength < MAX_PATH);
            file.withParents = true;
            file.fromPack = true;
            file.time = entry.fileTime;
            memcpy(file.md5, entry.md5, sizeof(file.md5));
            file.packName = header.packName;
            file.fileName = entry.fileName;
            pipeline.BeginFile(file);

            // One pass even for an empty file, with a read of nothing.
            DWORD remaining = entry.fileSize;
            do {
                DWORD wanted = remaining < kTransferBufferSize ? remaining : kTransferBufferSize;
                chunk = NULL;
                if (wanted > 0)
                    chunk = pipeline.NextBuffer();
                READ_FULLY(chunk, wanted);
                // What arrived before the source ended is kept, then the entry fails.
                if (chunk)
                    pipeline.Deliver(got);
                CHECK(got == wanted);
                CHECK(!pipeline.Failed());
                remaining -= got;
            } while (remaining > 0);
            pipeline.EndFile();
        }
    }

CleanUp:
#undef READ_FULLY
    {
        // Every chunk handed over is written (or found unwritable) before the result is known.
        HRESULT finished = pipeline.Finish();
        if (aborted)
            hr = S_OK;
        else if (SUCCEEDED(hr))
            hr = finished;
    }
    delete[] entries;
    return hr;
}
