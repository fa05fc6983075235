#include "PackExtract.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "ByteProgress.h"
#include "ByteSource.h"
#include "CancelToken.h"
#include "ChunkPipeline.h"
#include "EarlierFiles.h"
#include "FreeSpace.h"
#include "KeptFile.h"
#include "PackFormat.h"
#include "ServerAccess.h"

namespace {

// One pass over the pack from its first byte.
class PackPass {
public:
    PackPass(ByteSource& source, const char* targetDir, bool askInParts, ChunkPipeline& pipeline,
             ProgressSink& progress, const CancelToken& cancel)
        : source_(source), targetDir_(targetDir), pipeline_(pipeline), cancel_(cancel),
          bytes_(progress, source.Length()), askInParts_(askInParts)
    {
    }

    // S_RESOURCE_CHANGED when the pack changed under it: the file being written is
    // dropped, and the caller starts over.
    HRESULT Run();

private:
    HRESULT ReadTable();
    HRESULT FindKeptFiles();
    ULONGLONG MissingBytes() const;
    HRESULT WriteMissingFiles();
    HRESULT WriteEntry(const PackEntry& entry, ULONGLONG offset, ULONGLONG runEnd);
    // Reads `size` bytes, or what arrives before the source ends.
    HRESULT Read(void* buffer, DWORD size, DWORD* got) { return ReadChunk(source_, buffer, size, got, bytes_, cancel_); }
    // Goes to `offset`, asking only for what lies before `end` where earlier files are kept.
    HRESULT SeekTo(ULONGLONG offset, ULONGLONG end) { return source_.Seek(offset, askInParts_ ? end : kToTheEnd); }
    // The file of `entry` below the target: false when the path would not fit MAX_PATH.
    bool EntryPath(char (&path)[MAX_PATH], const PackEntry& entry) const;
    ULONGLONG TableEnd() const { return sizeof(PackHeader) + static_cast<ULONGLONG>(header_.entryCount) * sizeof(PackEntry); }

    ByteSource& source_;
    const char* targetDir_;
    ChunkPipeline& pipeline_;
    const CancelToken& cancel_;
    ByteProgress bytes_;
    PackHeader header_ = {};
    std::unique_ptr<PackEntry[]> entries_;
    std::unique_ptr<bool[]> kept_;
    // An earlier run may have left files of the pack: the header, the table and each run
    // of files that are missing are asked for one by one, so that nothing is sent that is
    // then kept, and no answer is left unread.
    bool askInParts_;
};

HRESULT PackPass::Run()
{
    bytes_.Report();
    if (cancel_.IsCancelled())
        return E_ABORT;
    HRESULT hr = ReadTable();
    // A pack without entries creates nothing, so its name is never used.
    if (hr != S_OK || header_.entryCount == 0)
        return hr;
    // From here the next chunk arrives while the writer and the hasher work on the ones before it.
    if (!pipeline_.Started() && FAILED(pipeline_.Start(true)))
        return E_FAIL;
    hr = FindKeptFiles();
    if (FAILED(hr))
        return hr;
    hr = EnsureRoomFor(targetDir_, MissingBytes());
    if (FAILED(hr))
        return hr;
    return WriteMissingFiles();
}

bool PackPass::EntryPath(char (&path)[MAX_PATH], const PackEntry& entry) const
{
    const int length = snprintf(path, sizeof(path), "%s\\%s\\%s", targetDir_, header_.packName, entry.fileName);
    return length >= 0 && length < MAX_PATH;
}

HRESULT PackPass::ReadTable()
{
    DWORD got = 0;
    HRESULT hr = Read(&header_, sizeof(header_), &got);
    if (hr != S_OK)
        return hr;
    if (got != sizeof(header_))
        return E_FAIL;
    if (header_.entryCount == 0)
        return S_OK;
    // A table that cannot exist, or is larger than any real kit needs, is refused before
    // room is allocated for it.
    if (!IsContainedPackName(header_.packName, sizeof(header_.packName)) ||
        header_.entryCount > kMaxPackEntryCount || TableEnd() > source_.Length())
        return E_FAIL;
    // The pack's own folder decides: where it holds nothing, the rest comes in one request.
    char folder[MAX_PATH];
    const int length = snprintf(folder, sizeof(folder), "%s\\%s", targetDir_, header_.packName);
    askInParts_ = askInParts_ && length >= 0 && length < MAX_PATH && HoldsEarlierFiles(folder);
    entries_.reset(new (std::nothrow) PackEntry[header_.entryCount]);
    if (!entries_)
        return E_FAIL;
    hr = SeekTo(sizeof(PackHeader), TableEnd());
    if (hr != S_OK)
        return hr;
    const DWORD tableSize = header_.entryCount * static_cast<DWORD>(sizeof(PackEntry));
    hr = Read(entries_.get(), tableSize, &got);
    if (hr != S_OK)
        return hr;
    return got == tableSize ? S_OK : E_FAIL;
}

// What an earlier run left complete stays: the files on disk are checked against the
// table first, each read once, and only the others are fetched.
HRESULT PackPass::FindKeptFiles()
{
    const DWORD count = header_.entryCount;
    kept_.reset(new (std::nothrow) bool[count]());
    if (!kept_)
        return E_FAIL;
    if (!askInParts_)
        return S_OK;
    std::unique_ptr<bool[]> sharesName(new (std::nothrow) bool[count]);
    std::unique_ptr<const char*[]> names(new (std::nothrow) const char*[count]);
    if (!sharesName || !names)
        return E_FAIL;
    for (DWORD index = 0; index < count; ++index)
        names[index] = entries_[index].fileName;
    if (!MarkNamesSharedByCase(names.get(), sizeof(PackEntry::fileName), count, sharesName.get()))
        return E_FAIL;
    BYTE* scratch = pipeline_.NextBuffer();
    const VolumeTimes volume = VolumeTimesOf(targetDir_);
    bool keptAny = false;
    for (DWORD index = 0; index < count; ++index) {
        const PackEntry& entry = entries_[index];
        char path[MAX_PATH];
        // A name that is refused is refused where its file would be written, in order.
        // Entries that are one file on disk are written again in order, as the first
        // time, so that the last one is what stays.
        if (sharesName[index] || !IsContainedPackName(entry.fileName, sizeof(entry.fileName)) ||
            !EntryPath(path, entry) || !IsPlainPathBelow(targetDir_, path))
            continue;
        HRESULT hr = VerifyKeptFile(path, entry, volume, scratch, kTransferBufferSize, bytes_, cancel_, &kept_[index]);
        if (hr != S_OK)
            return hr;
        keptAny = keptAny || kept_[index];
    }
    if (keptAny)
        bytes_.Report();
    return S_OK;
}

ULONGLONG PackPass::MissingBytes() const
{
    ULONGLONG missing = 0;
    for (DWORD index = 0; index < header_.entryCount; ++index)
        missing += kept_[index] ? 0 : entries_[index].fileSize;
    return missing;
}

HRESULT PackPass::WriteMissingFiles()
{
    ULONGLONG offset = TableEnd();
    ULONGLONG runEnd = 0;
    for (DWORD index = 0; index < header_.entryCount; ++index) {
        const PackEntry& entry = entries_[index];
        const ULONGLONG entryOffset = offset;
        offset += entry.fileSize;
        if (kept_[index])
            continue;
        // A run of needed files that follow one another is one request.
        if (entryOffset >= runEnd) {
            runEnd = entryOffset;
            for (DWORD next = index; next < header_.entryCount && !kept_[next]; ++next)
                runEnd += entries_[next].fileSize;
        }
        HRESULT hr = WriteEntry(entry, entryOffset, runEnd);
        if (hr != S_OK)
            return hr;
    }
    return S_OK;
}

HRESULT PackPass::WriteEntry(const PackEntry& entry, ULONGLONG offset, ULONGLONG runEnd)
{
    OutputFile file = {};
    // A fixed buffer: a path of MAX_PATH characters or more could not be created.
    if (!IsContainedPackName(entry.fileName, sizeof(entry.fileName)) || !EntryPath(file.path, entry))
        return E_FAIL;
    HRESULT hr = SeekTo(offset, runEnd);
    if (hr != S_OK)
        return hr;
    file.withParents = true;
    file.fromPack = true;
    file.time = entry.fileTime;
    memcpy(file.md5, entry.md5, sizeof(file.md5));
    file.packName = header_.packName;
    file.fileName = entry.fileName;
    pipeline_.BeginFile(file);
    // One pass even for an empty file, with a read of nothing.
    DWORD remaining = entry.fileSize;
    do {
        const DWORD wanted = remaining < kTransferBufferSize ? remaining : kTransferBufferSize;
        BYTE* chunk = wanted > 0 ? pipeline_.NextBuffer() : NULL;
        DWORD got = 0;
        hr = Read(chunk, wanted, &got);
        // What arrived before the source ended or the link was given up is kept, then the
        // entry fails; nothing is written after an abort or of a version that has gone.
        if ((hr == S_OK || hr == E_FAIL) && got > 0)
            pipeline_.Deliver(got);
        // The file of the old version is closed as it is and written again by the next pass.
        if (hr == S_RESOURCE_CHANGED)
            pipeline_.DropFile();
        if (hr != S_OK)
            return hr;
        if (got != wanted || pipeline_.Failed())
            return E_FAIL;
        remaining -= got;
    } while (remaining > 0);
    pipeline_.EndFile();
    return S_OK;
}

}  // namespace

HRESULT ExtractPack(ByteSource& source, const char* targetDir, const char* packFolder, ProgressSink& progress,
                    const CancelToken& cancel)
{
    const bool askInParts = HoldsEarlierFiles(packFolder ? packFolder : targetDir);
    if (askInParts)
        source.FirstAskFor(sizeof(PackHeader));
    HRESULT hr = source.Open();
    if (FAILED(hr))
        return hr;
    // Every chunk handed over is written (or found unwritable) before the result is known.
    ChunkPipeline pipeline;
    do
        hr = PackPass(source, targetDir, askInParts, pipeline, progress, cancel).Run();
    while (hr == S_RESOURCE_CHANGED);
    const HRESULT finished = pipeline.Finish();
    return FAILED(hr) ? hr : finished;
}
