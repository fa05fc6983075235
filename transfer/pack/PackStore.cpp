#include "PackStore.h"

#include <cstring>
#include <memory>
#include <new>

#include <afxstr.h>

#include "ByteProgress.h"
#include "ByteSource.h"
#include "CancelToken.h"
#include "ChunkPipeline.h"
#include "FreeSpace.h"
#include "Handle.h"
#include "HeldFiles.h"
#include "KeptFile.h"
#include "PackStream.h"
#include "PackTable.h"
#include "RelativePath.h"
#include "ServerAccess.h"
#include "TwoThreadCheck.h"

namespace {

// A server whose pack keeps changing under the run is given up after a few passes.
const int kMostPasses = 8;

// What lies where the pack is stored: a file (an earlier run's), and its header and table
// when it holds ones that could be a pack's.
struct StoredCopy {
    bool exists = false;
    ULONGLONG size = 0;
    bool hasTable = false;
    PackTable table;
};

void LookAtStored(const char* path, StoredCopy* stored)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &found) ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return;
    ULARGE_INTEGER size;
    size.LowPart = found.nFileSizeLow;
    size.HighPart = found.nFileSizeHigh;
    stored->exists = true;
    stored->size = size.QuadPart;
    Handle file(OpenHeldFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    stored->hasTable = file.IsOpen() && stored->table.ReadFrom(file.Get(), stored->size);
}

// Hands bytes held in memory (the header and the table) to the file begun in `pipeline`.
void DeliverHeld(ChunkPipeline& pipeline, const void* bytes, ULONGLONG size)
{
    const BYTE* at = static_cast<const BYTE*>(bytes);
    while (size > 0) {
        const DWORD chunk = size < kTransferBufferSize ? static_cast<DWORD>(size) : kTransferBufferSize;
        memcpy(pipeline.NextBuffer(), at, chunk);
        pipeline.Deliver(chunk);
        at += chunk;
        size -= chunk;
    }
}

// One pass over the pack from its first byte.
class StorePass : private EntryRewriter, private ItemCheck {
public:
    StorePass(ByteSource& source, const char* localPath, const char* partPath, const StoredCopy& stored,
              ChunkPipeline& pipeline, ProgressSink& progress, const CancelToken& cancel)
        : source_(source), localPath_(localPath), partPath_(partPath), stored_(stored), pipeline_(pipeline),
          cancel_(cancel), bytes_(progress, source.Length()), inParts_(stored.exists)
    {
    }
    ~StorePass() { source_.NameVersionBy(nullptr); }
    StorePass(const StorePass&) = delete;
    StorePass& operator=(const StorePass&) = delete;

    // S_RESOURCE_CHANGED when the pack changed under it: the caller starts over.
    HRESULT Run();
    // Whether the pass wrote the pack as partPath, to be put in place of the stored one.
    bool WroteBeside() const { return writing_ == partPath_; }

private:
    HRESULT FindSoundEntries();
    HRESULT Check(DWORD index, BYTE* scratch, DWORD scratchSize, volatile LONGLONG* read, HANDLE* kept,
                  bool* passed) override;
    HRESULT Repair();
    HRESULT WriteWhole();
    // Entries [first, end), fetched as one range and written at their offsets.
    HRESULT WriteRun(DWORD first, DWORD end);
    HRESULT WriteChecked(DWORD index, bool* retry);
    // Ends the file open in the pipeline as `hr` says: complete, or dropped when the pack
    // changed (what was written of a version that has gone is written again by the next
    // pass); `hr` is passed on.
    HRESULT Ended(HRESULT hr);
    HRESULT WriteAgain(DWORD index, bool* retry) override;
    OutputFile FileAt(OutputFile::Opening opening, ULONGLONG offset) const;

    ByteSource& source_;
    const char* localPath_;
    const char* partPath_;
    const StoredCopy& stored_;
    ChunkPipeline& pipeline_;
    const CancelToken& cancel_;
    ByteProgress bytes_;
    PackTable server_;
    // The file being written: localPath_ or partPath_.
    const char* writing_ = nullptr;
    std::unique_ptr<bool[]> sound_;
    std::unique_ptr<bool[]> retry_;
    // A pack stored before is asked for in parts, its header and table first.
    bool inParts_;
};

HRESULT StorePass::Run()
{
    bytes_.Report();
    if (cancel_.IsCancelled())
        return E_ABORT;
    // A pass after a change found by the pack's own bytes begins where the last one ended.
    HRESULT hr = source_.Position() == 0 ? S_OK : source_.Seek(0, inParts_ ? sizeof(PackHeader) : kToTheEnd);
    if (hr == S_OK)
        hr = server_.Read(source_, inParts_, bytes_, cancel_);
    if (hr != S_OK)
        return hr;
    source_.NameVersionBy(&server_);
    sound_.reset(new (std::nothrow) bool[server_.Count() + 1]());
    retry_.reset(new (std::nothrow) bool[server_.Count() + 1]());
    if (!sound_ || !retry_ || (!pipeline_.Started() && FAILED(pipeline_.Start(true))))
        return E_FAIL;
    // The header and the table are the version, whatever the pack's date.
    if (stored_.hasTable && stored_.table.SameAs(server_) && stored_.size <= source_.Length()) {
        writing_ = localPath_;
        return Repair();
    }
    writing_ = stored_.exists ? partPath_ : localPath_;
    return WriteWhole();
}

HRESULT StorePass::Ended(HRESULT hr)
{
    if (hr == S_OK)
        pipeline_.EndFile();
    else if (hr == S_RESOURCE_CHANGED)
        pipeline_.DropFile();
    return hr;
}

OutputFile StorePass::FileAt(OutputFile::Opening opening, ULONGLONG offset) const
{
    OutputFile file = {};
    strcpy(file.path, writing_);
    file.opening = opening;
    file.offset = offset;
    file.stamped = source_.LastModified(&file.time);
    return file;
}

// The stored pack's entries, each read once and checked against its digest, on two
// threads; those it ends before are missing.
HRESULT StorePass::FindSoundEntries()
{
    std::unique_ptr<bool[]> missing(new (std::nothrow) bool[server_.Count() + 1]);
    if (!missing)
        return E_FAIL;
    for (DWORD index = 0; index < server_.Count(); ++index)
        missing[index] = server_.Offset(index) + server_.Entry(index).fileSize > stored_.size;
    // A pass after the pack changed reads the disk only once the writer is idle.
    pipeline_.WaitIdle();
    return CheckOnTwoThreads(*this, server_.Count(), missing.get(), pipeline_.NextBuffer(), bytes_, cancel_,
                             sound_.get());
}

HRESULT StorePass::Check(DWORD index, BYTE* scratch, DWORD scratchSize, volatile LONGLONG* read, HANDLE* kept,
                         bool* passed)
{
    *passed = false;
    // One handle for each thread, kept from one entry to the next.
    if (*kept == INVALID_HANDLE_VALUE)
        *kept = OpenHeldFile(localPath_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(server_.Offset(index));
    // Unreadable: the entry is not sound, and is fetched.
    if (*kept == INVALID_HANDLE_VALUE || !SetFilePointerEx(*kept, offset, NULL, FILE_BEGIN))
        return S_OK;
    const PackEntry& entry = server_.Entry(index);
    return VerifyBytes(*kept, entry.fileSize, entry.md5, scratch, scratchSize, read, cancel_, passed);
}

HRESULT StorePass::Repair()
{
    HRESULT hr = FindSoundEntries();
    if (hr != S_OK)
        return hr;
    const ULONGLONG length = source_.Length();
    // What follows the last entry, where the stored pack holds less of it than the server's.
    const ULONGLONG tailStart = stored_.size > server_.DataEnd() ? stored_.size : server_.DataEnd();
    ULONGLONG missing = length - tailStart;
    for (DWORD index = 0; index < server_.Count(); ++index)
        missing += sound_[index] ? 0 : server_.Entry(index).fileSize;
    bytes_.Add(tailStart - server_.DataEnd());
    bytes_.Report();
    if (missing == 0) {
        FILETIME time;
        if (source_.LastModified(&time))
            StampFile(localPath_, time, true, VolumeTimesOf(localPath_));
        return S_OK;
    }
    hr = EnsureRoomFor(localPath_, missing);
    if (FAILED(hr))
        return hr;
    for (DWORD index = 0; index < server_.Count();) {
        if (sound_[index]) {
            ++index;
            continue;
        }
        DWORD end = index;
        while (end < server_.Count() && !sound_[end])
            ++end;
        hr = WriteRun(index, end);
        if (hr != S_OK)
            return hr;
        index = end;
    }
    if (tailStart < length) {
        hr = source_.Seek(tailStart, kToTheEnd);
        if (hr != S_OK)
            return hr;
        pipeline_.BeginFile(FileAt(OutputFile::Opening::kWriteAt, tailStart));
        hr = Ended(DeliverFrom(source_, length - tailStart, pipeline_, bytes_, cancel_));
        if (hr != S_OK)
            return hr;
    }
    return RetryMismatches(server_, retry_.get(), source_, inParts_, pipeline_, bytes_, cancel_, *this);
}

HRESULT StorePass::WriteRun(DWORD first, DWORD end)
{
    const PackEntry& last = server_.Entry(end - 1);
    HRESULT hr = source_.Seek(server_.Offset(first), server_.Offset(end - 1) + last.fileSize);
    if (hr != S_OK)
        return hr;
    pipeline_.BeginFile(FileAt(OutputFile::Opening::kWriteAt, server_.Offset(first)));
    for (DWORD index = first; hr == S_OK && index < end; ++index)
        hr = WriteChecked(index, &retry_[index]);
    return Ended(hr);
}

HRESULT StorePass::WriteAgain(DWORD index, bool* retry)
{
    const PackEntry& entry = server_.Entry(index);
    HRESULT hr = source_.Seek(server_.Offset(index), server_.Offset(index) + entry.fileSize);
    if (hr != S_OK)
        return hr;
    pipeline_.BeginFile(FileAt(OutputFile::Opening::kWriteAt, server_.Offset(index)));
    return Ended(WriteChecked(index, retry));
}

// The entry's bytes, from the source's position, into the file open in the pipeline.
HRESULT StorePass::WriteChecked(DWORD index, bool* retry)
{
    const PackEntry& entry = server_.Entry(index);
    pipeline_.BeginCheck(server_.CheckOf(index, retry));
    HRESULT hr = DeliverFrom(source_, entry.fileSize, pipeline_, bytes_, cancel_);
    if (hr == S_OK)
        pipeline_.EndCheck();
    return hr;
}

HRESULT StorePass::WriteWhole()
{
    const ULONGLONG length = source_.Length();
    HRESULT hr = EnsureRoomFor(localPath_, length);
    if (FAILED(hr))
        return hr;
    pipeline_.BeginFile(FileAt(OutputFile::Opening::kCreate, 0));
    DeliverHeld(pipeline_, &server_.Header(), sizeof(PackHeader));
    if (server_.Count() > 0)
        DeliverHeld(pipeline_, &server_.Entry(0), server_.TableEnd() - sizeof(PackHeader));
    hr = source_.Seek(server_.TableEnd(), kToTheEnd);
    for (DWORD index = 0; hr == S_OK && index < server_.Count(); ++index)
        hr = WriteChecked(index, &retry_[index]);
    // Bytes behind the last entry are the server's too.
    if (hr == S_OK)
        hr = DeliverFrom(source_, length - server_.DataEnd(), pipeline_, bytes_, cancel_);
    hr = Ended(hr);
    if (hr != S_OK)
        return hr;
    return RetryMismatches(server_, retry_.get(), source_, inParts_, pipeline_, bytes_, cancel_, *this);
}

}  // namespace

HRESULT StorePack(ByteSource& source, const char* localPath, ProgressSink& progress, const CancelToken& cancel,
                  bool anew)
{
    const CString partPath = PartPath(localPath);
    if (partPath.GetLength() >= MAX_PATH)
        return E_FAIL;
    StoredCopy stored;
    LookAtStored(localPath, &stored);
    stored.hasTable = stored.hasTable && !anew;
    if (stored.exists)
        source.FirstAskFor(sizeof(PackHeader));
    HRESULT hr = source.Open();
    if (FAILED(hr))
        return hr;
    // Every chunk handed over is written (or found unwritable) before the result is known.
    ChunkPipeline pipeline;
    bool beside = false;
    int passes = 0;
    do {
        if (++passes > kMostPasses) {
            hr = E_FAIL;
            break;
        }
        StorePass pass(source, localPath, partPath, stored, pipeline, progress, cancel);
        hr = pass.Run();
        beside = beside || pass.WroteBeside();
    } while (hr == S_RESOURCE_CHANGED);
    source.Close();
    const HRESULT finished = pipeline.Finish();
    if (SUCCEEDED(hr))
        hr = finished;
    return beside ? PutInPlace(hr, partPath, localPath) : hr;
}

HRESULT DownloadPackBelow(const TransferEnv& env, const char* baseUrl, const char* folder, const char* path,
                          bool anew)
{
    CString url;
    CString localPath;
    if (!JoinCatalogPath(baseUrl, folder, path, &url, &localPath))
        return E_FAIL;
    PackStream pack(env, url);
    return StorePack(pack, localPath, env.progress, env.cancel, anew);
}
