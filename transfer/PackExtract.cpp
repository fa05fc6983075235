// PackStream::Extract: one pass over a pack, straight from the source to the files.
#include "PackStream.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "Check.h"
#include "ChunkPipeline.h"
#include "EarlierFiles.h"
#include "FreeSpace.h"
#include "KeptFile.h"
#include "PackFormat.h"
#include "ProgressScale.h"
#include "ServerAccess.h"

namespace {

// The pack's own folder below the target, where an earlier run left its files.
bool PackFolderHoldsFiles(const char* targetDir, const PackHeader& header)
{
    char folder[MAX_PATH];
    const int length = snprintf(folder, sizeof(folder), "%s\\%s", targetDir, header.packName);
    return length >= 0 && length < MAX_PATH && HoldsEarlierFiles(folder);
}

// The file of `entry` below the target: false when the path would not fit MAX_PATH.
bool EntryPath(char (&path)[MAX_PATH], const char* targetDir, const PackHeader& header, const PackEntry& entry)
{
    int length = snprintf(path, sizeof(path), "%s\\%s\\%s", targetDir, header.packName, entry.fileName);
    return length >= 0 && length < MAX_PATH;
}

// The bytes of the files that are not kept: what the pack still has to write.
ULONGLONG MissingBytes(const PackEntry* entries, const bool* kept, DWORD count)
{
    ULONGLONG missing = 0;
    for (DWORD index = 0; index < count; ++index)
        missing += kept[index] ? 0 : entries[index].fileSize;
    return missing;
}

}  // namespace

HRESULT PackStream::Extract(const char* targetDir, CProgressCtrl* progress, const int* newAbortFlag)
{
    abortFlag = newAbortFlag;
    askInParts = session && HoldsEarlierFiles(expectedFolder.IsEmpty() ? targetDir : expectedFolder.GetString());
    HRESULT hr = Open();
    if (FAILED(hr))
        return IsAbortRequested(abortFlag) ? S_OK : hr;
    // Every chunk handed over is written (or found unwritable) before the result is known.
    ChunkPipeline pipeline;
    for (;;) {
        hr = ExtractPass(targetDir, progress, pipeline);
        if (hr != S_RESOURCE_CHANGED)
            break;
        totalSize = static_cast<LONGLONG>(source->Length());
        progressShift = ProgressShiftFor(totalSize);
    }
    HRESULT finished = pipeline.Finish();
    // A read that failed because the abort closed the request under it is that abort.
    if (hr == E_ABORT || (FAILED(hr) && IsAbortRequested(abortFlag)))
        return S_OK;
    return FAILED(hr) ? hr : finished;
}


HRESULT PackStream::ExtractPass(const char* targetDir, CProgressCtrl* progress, ChunkPipeline& pipeline)
{
    HRESULT hr = S_OK;
    PackHeader header;
    PackEntry* entries = NULL;
    OutputFile file = {};
    BYTE* chunk = NULL;
    DWORD got = 0;
    DWORD tableSize = 0;
    LONGLONG knownSize = -1;
    bool fileBegun = false;
    bool* kept = NULL;
    bool* sharesName = NULL;
    const char** names = NULL;
    bool keptAny = false;
    ULONGLONG dataOffset = 0;
    ULONGLONG runEnd = 0;
    ByteProgress bytes(progress, progressShift);

    // Reads `size` bytes, or what arrives before the source ends; any other answer
    // (an abort, a failure, a changed pack) ends the pass.
#define READ_FULLY(buffer, size)                                  \
    do {                                                          \
        hr = ReadFully(buffer, size, &got, bytes);                \
        bytes.Report();                                           \
        if (hr == S_OK && IsAbortRequested(abortFlag))            \
            hr = E_ABORT;                                         \
        if (hr != S_OK)                                           \
            goto CleanUp;                                         \
    } while (0)

    bytes.SetRange(totalSize);
    bytes.Report();
    if (IsAbortRequested(abortFlag))
        return E_ABORT;

    READ_FULLY(&header, sizeof(header));
    CHECK(got == sizeof(header));
    // A pack without entries creates nothing, so its name is never used.
    if (header.entryCount == 0)
        goto CleanUp;
    CHECK(IsContainedPackName(header.packName, sizeof(header.packName)));
    // The pack's own folder decides: where it holds nothing, the rest of the pack comes
    // in one request.
    askInParts = askInParts && PackFolderHoldsFiles(targetDir, header);

    // Refuse a table that cannot exist, or is larger than any real kit needs,
    // before allocating room for it.
    CHECK(header.entryCount <= kMaxPackEntryCount);
    tableSize = header.entryCount * static_cast<DWORD>(sizeof(PackEntry));
    knownSize = KnownSize();
    CHECK(knownSize < 0 ||
          sizeof(PackHeader) + static_cast<ULONGLONG>(tableSize) <= static_cast<ULONGLONG>(knownSize));
    entries = new (std::nothrow) PackEntry[header.entryCount];
    CHECK(entries);
    hr = SeekTo(sizeof(PackHeader), sizeof(PackHeader) + static_cast<ULONGLONG>(tableSize));
    if (hr != S_OK)
        goto CleanUp;
    READ_FULLY(entries, tableSize);
    CHECK(got == tableSize);

    // From here the next chunk arrives while the writer and the hasher work on the
    // ones before it.
    if (!pipeline.Started())
        CHECK(SUCCEEDED(pipeline.Start(true)));

    // What an earlier run left complete stays: the files on disk are checked against the
    // table first, each read once, and only the others are fetched.
    kept = new (std::nothrow) bool[header.entryCount];
    CHECK(kept);
    for (DWORD index = 0; index < header.entryCount; ++index)
        kept[index] = false;
    if (askInParts) {
        sharesName = new (std::nothrow) bool[header.entryCount];
        names = new (std::nothrow) const char*[header.entryCount];
        CHECK(sharesName && names);
        for (DWORD index = 0; index < header.entryCount; ++index)
            names[index] = entries[index].fileName;
        CHECK(MarkNamesSharedByCase(names, sizeof(PackEntry::fileName), header.entryCount, sharesName));
    }
    chunk = pipeline.NextBuffer();
    for (DWORD index = 0; askInParts && index < header.entryCount; ++index) {
        const PackEntry& entry = entries[index];
        // A name that is refused is refused where its file would be written, in order.
        // Entries that are one file on disk are written again in order, as the first
        // time, so that the last one is what stays.
        if (sharesName[index] || !IsContainedPackName(entry.fileName, sizeof(entry.fileName)) ||
            !EntryPath(file.path, targetDir, header, entry) || !IsPlainPathBelow(targetDir, file.path))
            continue;
        hr = VerifyKeptFile(file.path, entry, chunk, kTransferBufferSize, bytes, abortFlag, &kept[index]);
        if (hr != S_OK)
            goto CleanUp;
        keptAny = keptAny || kept[index];
    }
    if (keptAny)
        bytes.Report();
    hr = EnsureRoomFor(targetDir, MissingBytes(entries, kept, header.entryCount));
    if (FAILED(hr))
        goto CleanUp;

    dataOffset = sizeof(PackHeader) + static_cast<ULONGLONG>(tableSize);
    for (DWORD index = 0; index < header.entryCount; ++index) {
        const PackEntry& entry = entries[index];
        const ULONGLONG entryOffset = dataOffset;
        dataOffset += entry.fileSize;
        if (kept[index])
            continue;
        // A run of needed files that follow one another is one request.
        if (entryOffset >= runEnd) {
            runEnd = entryOffset;
            for (DWORD next = index; next < header.entryCount && !kept[next]; ++next)
                runEnd += entries[next].fileSize;
        }
        CHECK(IsContainedPackName(entry.fileName, sizeof(entry.fileName)));
        // A fixed buffer: a path of MAX_PATH characters or more could not be created.
        CHECK(EntryPath(file.path, targetDir, header, entry));
        hr = SeekTo(entryOffset, runEnd);
        if (hr != S_OK)
            goto CleanUp;
        file.withParents = true;
        file.fromPack = true;
        file.time = entry.fileTime;
        memcpy(file.md5, entry.md5, sizeof(file.md5));
        file.packName = header.packName;
        file.fileName = entry.fileName;
        pipeline.BeginFile(file);
        fileBegun = true;

        // One pass even for an empty file, with a read of nothing.
        DWORD remaining = entry.fileSize;
        do {
            DWORD wanted = remaining < kTransferBufferSize ? remaining : kTransferBufferSize;
            chunk = NULL;
            if (wanted > 0)
                chunk = pipeline.NextBuffer();
            hr = ReadFully(chunk, wanted, &got, bytes);
            bytes.Report();
            if (hr == S_OK && IsAbortRequested(abortFlag))
                hr = E_ABORT;
            // What arrived before the source ended or the link was given up is kept,
            // then the entry fails; nothing is written after an abort or of a version
            // that has gone.
            if (chunk && (hr == S_OK || hr == E_FAIL) && got > 0)
                pipeline.Deliver(got);
            if (hr != S_OK)
                goto CleanUp;
            CHECK(got == wanted);
            CHECK(!pipeline.Failed());
            remaining -= got;
        } while (remaining > 0);
        pipeline.EndFile();
        fileBegun = false;
    }

CleanUp:
#undef READ_FULLY
    // The chunk being filled is given back unwritten; the file of the old version is
    // closed as it is and written again by the next pass.
    if (hr == S_RESOURCE_CHANGED && fileBegun)
        pipeline.DropFile();
    delete[] names;
    delete[] sharesName;
    delete[] kept;
    delete[] entries;
    return hr;
}
