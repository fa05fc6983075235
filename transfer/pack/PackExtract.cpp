#include "PackExtract.h"

#include <mbstring.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "ByteProgress.h"
#include "ByteSource.h"
#include "CancelToken.h"
#include "ChunkPipeline.h"
#include "EarlierFiles.h"
#include "FileNames.h"
#include "FreeSpace.h"
#include "KeptFile.h"
#include "PackTable.h"
#include "ServerAccess.h"
#include "TwoThreadCheck.h"

namespace {

const int kMostPasses = 8;

// One pass over the pack from its first byte.
class PackPass : private EntryRewriter, private ItemCheck {
public:
    PackPass(ByteSource& source, const char* targetDir, bool headerNamesFolder, bool askInParts,
             ChunkPipeline& pipeline, ProgressSink& progress, const CancelToken& cancel)
        : source_(source), targetDir_(targetDir), pipeline_(pipeline), cancel_(cancel),
          bytes_(progress, source.Length()), headerNamesFolder_(headerNamesFolder), askInParts_(askInParts)
    {
    }
    ~PackPass() { source_.NameVersionBy(nullptr); }
    PackPass(const PackPass&) = delete;
    PackPass& operator=(const PackPass&) = delete;

    // S_RESOURCE_CHANGED when the pack changed under it: the file being written is
    // dropped, and the caller starts over.
    HRESULT Run();

private:
    HRESULT ReadTable();
    HRESULT FindKeptFiles();
    ULONGLONG MissingBytes() const;
    HRESULT WriteMissingFiles();
    HRESULT WriteEntry(DWORD index, ULONGLONG runEnd, bool* retry);
    // A file of an earlier run, on either of the two checking threads.
    HRESULT Check(DWORD index, BYTE* scratch, DWORD scratchSize, volatile LONGLONG* read, HANDLE* kept,
                  bool* passed) override;
    HRESULT WriteAgain(DWORD index, bool* retry) override
    {
        return WriteEntry(index, table_.Offset(index) + table_.Entry(index).fileSize, retry);
    }
    // Goes to `offset`, asking only for what lies before `end` where earlier files are kept.
    HRESULT SeekTo(ULONGLONG offset, ULONGLONG end) { return source_.Seek(offset, askInParts_ ? end : kToTheEnd); }
    // The file of `entry` below the target: false when the path would not fit MAX_PATH.
    bool EntryPath(char (&path)[MAX_PATH], const PackEntry& entry) const;

    ByteSource& source_;
    const char* targetDir_;
    ChunkPipeline& pipeline_;
    const CancelToken& cancel_;
    ByteProgress bytes_;
    PackTable table_;
    VolumeTimes volume_ = VolumeTimes::kExact;
    std::unique_ptr<bool[]> kept_;
    // The entries whose digest failed on bytes that may have come from another version
    // (a range, a resumed answer): each is fetched once more before it counts.
    std::unique_ptr<bool[]> retry_;
    // Only the header names the pack's folder: it must be one below the target.
    bool headerNamesFolder_;
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
    // A pass after a change found by the pack's own bytes begins where the last one ended.
    HRESULT hr = source_.Position() == 0 ? S_OK : SeekTo(0, sizeof(PackHeader));
    if (hr == S_OK)
        hr = ReadTable();
    // A pack without entries creates nothing, so its name is never used.
    if (hr != S_OK || table_.Count() == 0)
        return hr;
    source_.NameVersionBy(&table_);
    // From here the next chunk arrives while the writer and the hasher work on the ones before it.
    if (!pipeline_.Started() && FAILED(pipeline_.Start(true)))
        return E_FAIL;
    hr = FindKeptFiles();
    if (FAILED(hr))
        return hr;
    hr = EnsureRoomFor(targetDir_, MissingBytes());
    if (FAILED(hr))
        return hr;
    hr = WriteMissingFiles();
    return hr == S_OK ? RetryMismatches(table_, retry_.get(), source_, askInParts_, pipeline_, bytes_, cancel_, *this)
                      : hr;
}

bool PackPass::EntryPath(char (&path)[MAX_PATH], const PackEntry& entry) const
{
    const int length =
        snprintf(path, sizeof(path), "%s\\%s\\%s", targetDir_, table_.Header().packName, entry.fileName);
    return length >= 0 && length < MAX_PATH;
}

HRESULT PackPass::ReadTable()
{
    HRESULT hr = table_.ReadHeader(source_, bytes_, cancel_);
    if (hr != S_OK || table_.Count() == 0)
        return hr;
    const char* packName = table_.Header().packName;
    WCHAR key[kFileKeySize];
    if (!IsContainedPackName(packName, sizeof(table_.Header().packName)) ||
        (headerNamesFolder_ && FileKey(packName, sizeof(table_.Header().packName), key) == 0))
        return E_FAIL;
    // The pack's own folder decides: where it holds nothing, the rest comes in one request.
    char folder[MAX_PATH];
    const int length = snprintf(folder, sizeof(folder), "%s\\%s", targetDir_, packName);
    askInParts_ = askInParts_ && length >= 0 && length < MAX_PATH && HoldsEarlierFiles(folder);
    return table_.ReadEntries(source_, askInParts_, bytes_, cancel_);
}

// What an earlier run left complete stays: the files on disk are checked against the
// table first, each read once, and only the others are fetched.
HRESULT PackPass::FindKeptFiles()
{
    const DWORD count = table_.Count();
    kept_.reset(new (std::nothrow) bool[count]());
    retry_.reset(new (std::nothrow) bool[count]());
    if (!kept_ || !retry_)
        return E_FAIL;
    if (!askInParts_)
        return S_OK;
    std::unique_ptr<bool[]> unkeepable(new (std::nothrow) bool[count]);
    std::unique_ptr<const char*[]> names(new (std::nothrow) const char*[count]);
    if (!unkeepable || !names)
        return E_FAIL;
    for (DWORD index = 0; index < count; ++index)
        names[index] = table_.Entry(index).fileName;
    // Entries that are one file on disk are written again in order, as the first time,
    // so that the last one is what stays.
    if (!MarkNamesOfOneFile(names.get(), sizeof(PackEntry::fileName), count, unkeepable.get()))
        return E_FAIL;
    // A name that is refused is refused where its file would be written, in order; a
    // file below a junction or link is not the target's. Each folder is looked at once.
    char folder[MAX_PATH] = "";
    bool folderPlain = false;
    for (DWORD index = 0; index < count; ++index) {
        const PackEntry& entry = table_.Entry(index);
        char path[MAX_PATH];
        if (unkeepable[index] || !IsContainedPackName(entry.fileName, sizeof(entry.fileName)) ||
            !EntryPath(path, entry)) {
            unkeepable[index] = true;
            continue;
        }
        unsigned char* text = reinterpret_cast<unsigned char*>(path);
        unsigned char* cut = _mbsrchr(text, '\\');
        unsigned char* slash = _mbsrchr(text, '/');
        if (slash && (!cut || slash > cut))
            cut = slash;
        if (cut)
            *cut = '\0';
        if (strcmp(path, folder) != 0) {
            strcpy(folder, path);
            folderPlain = IsPlainPathBelow(targetDir_, folder);
        }
        unkeepable[index] = !folderPlain;
    }
    // A pass after the pack changed looks at the disk only once everything the pass
    // before handed to the writer is on it.
    pipeline_.WaitIdle();
    volume_ = VolumeTimesOf(targetDir_);
    HRESULT hr = CheckOnTwoThreads(*this, count, unkeepable.get(), pipeline_.NextBuffer(), bytes_, cancel_,
                                   kept_.get());
    bytes_.Report();
    return hr;
}

HRESULT PackPass::Check(DWORD index, BYTE* scratch, DWORD scratchSize, volatile LONGLONG* read, HANDLE*, bool* passed)
{
    const PackEntry& entry = table_.Entry(index);
    char path[MAX_PATH];
    *passed = false;
    if (!EntryPath(path, entry))
        return S_OK;
    return VerifyKeptFile(path, entry, volume_, scratch, scratchSize, read, cancel_, passed);
}

ULONGLONG PackPass::MissingBytes() const
{
    ULONGLONG missing = 0;
    for (DWORD index = 0; index < table_.Count(); ++index)
        missing += kept_[index] ? 0 : table_.Entry(index).fileSize;
    return missing;
}

HRESULT PackPass::WriteMissingFiles()
{
    ULONGLONG runEnd = 0;
    for (DWORD index = 0; index < table_.Count(); ++index) {
        if (kept_[index])
            continue;
        // A run of needed files that follow one another is one request.
        if (table_.Offset(index) >= runEnd) {
            DWORD next = index;
            while (next < table_.Count() && !kept_[next])
                ++next;
            runEnd = table_.Offset(next - 1) + table_.Entry(next - 1).fileSize;
        }
        HRESULT hr = WriteEntry(index, runEnd, &retry_[index]);
        if (hr != S_OK)
            return hr;
    }
    return S_OK;
}

HRESULT PackPass::WriteEntry(DWORD index, ULONGLONG runEnd, bool* retry)
{
    const PackEntry& entry = table_.Entry(index);
    OutputFile file = {};
    // A fixed buffer: a path of MAX_PATH characters or more could not be created.
    if (!IsContainedPackName(entry.fileName, sizeof(entry.fileName)) || !EntryPath(file.path, entry))
        return E_FAIL;
    HRESULT hr = SeekTo(table_.Offset(index), runEnd);
    if (hr != S_OK)
        return hr;
    file.opening = OutputFile::Opening::kCreateWithParents;
    file.stamped = file.allTimes = true;
    file.time = entry.fileTime;
    pipeline_.BeginFile(file);
    pipeline_.BeginCheck(table_.CheckOf(index, retry));
    hr = DeliverFrom(source_, entry.fileSize, pipeline_, bytes_, cancel_);
    // The file of the old version is closed as it is and written again by the next pass.
    if (hr == S_RESOURCE_CHANGED)
        pipeline_.DropFile();
    if (hr != S_OK)
        return hr;
    pipeline_.EndFile();
    pipeline_.EndCheck();
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
    // A server whose pack keeps changing under the run is given up after a few passes.
    int passes = 0;
    do
        hr = ++passes > kMostPasses
                 ? E_FAIL
                 : PackPass(source, targetDir, packFolder == nullptr, askInParts, pipeline, progress, cancel).Run();
    while (hr == S_RESOURCE_CHANGED);
    const HRESULT finished = pipeline.Finish();
    return FAILED(hr) ? hr : finished;
}
