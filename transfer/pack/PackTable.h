// A pack's header and entry table: what the pack holds, where each file's bytes lie, and
// the version of the pack, whichever server or node sent it.
#pragma once

#include <windows.h>

#include <memory>

#include "ByteSource.h"
#include "ChunkPipeline.h"
#include "PackFormat.h"

class ByteProgress;
class CancelToken;

class PackTable : public VersionBytes {
public:
    // Reads the header from the source's first byte (the source open). S_OK; E_FAIL for a
    // pack too short for one, or whose table cannot exist (more entries than
    // kMaxPackEntryCount, or a table past the pack's end): refused before room is
    // allocated for it; or the source's S_RESOURCE_CHANGED, E_ABORT, E_FAIL.
    HRESULT ReadHeader(ByteSource& source, ByteProgress& bytes, const CancelToken& cancel);
    // After ReadHeader: the entry table, which follows it; `alone` asks for nothing beyond
    // it. The same results; E_FAIL also when memory for it cannot be had.
    HRESULT ReadEntries(ByteSource& source, bool alone, ByteProgress& bytes, const CancelToken& cancel);
    // Both, one after the other.
    HRESULT Read(ByteSource& source, bool alone, ByteProgress& bytes, const CancelToken& cancel);
    // The header and table at the start of `file` (a stored pack of `fileSize` bytes):
    // false when it holds none that could be a pack's.
    bool ReadFrom(HANDLE file, ULONGLONG fileSize);

    const PackHeader& Header() const { return header_; }
    DWORD Count() const { return header_.entryCount; }
    const PackEntry& Entry(DWORD index) const { return entries_[index]; }
    // Where the entry's bytes begin in the pack.
    ULONGLONG Offset(DWORD index) const { return offsets_[index]; }
    ULONGLONG TableEnd() const { return sizeof(PackHeader) + static_cast<ULONGLONG>(Count()) * sizeof(PackEntry); }
    // Where the last entry's bytes end.
    ULONGLONG DataEnd() const { return Count() ? Offset(Count() - 1) + Entry(Count() - 1).fileSize : TableEnd(); }
    // The same header and table: the same version of the pack.
    bool SameAs(const PackTable& other) const;
    // The check of entry `index`'s bytes (its digest, and its names for the mismatch
    // line), marking *retry on a mismatch where given (see PackCheck).
    PackCheck CheckOf(DWORD index, bool* retry) const;

    // The header and the table are the bytes that name the pack's version.
    ULONGLONG Size() const override { return TableEnd(); }
    bool Match(ULONGLONG offset, const BYTE* bytes, DWORD size) const override;

private:
    bool HeaderCanBe(ULONGLONG packSize) const;
    bool Allocate();
    void PlaceEntries();

    PackHeader header_ = {};
    std::unique_ptr<PackEntry[]> entries_;
    std::unique_ptr<ULONGLONG[]> offsets_;
};

// Asks `source` again for the header and table of the pack (only for them where `inParts`):
// S_OK when they are `held`, S_RESOURCE_CHANGED when they are another version's, or the
// source's E_ABORT, E_FAIL.
HRESULT CheckVersionHeld(ByteSource& source, const PackTable& held, bool inParts, ByteProgress& bytes,
                         const CancelToken& cancel);

// What RetryMismatches asks of a pass: to write entry `index` again, fetched from its
// first byte, under a check that marks *retry on a mismatch.
class EntryRewriter {
public:
    virtual HRESULT WriteAgain(DWORD index, bool* retry) = 0;

protected:
    ~EntryRewriter() = default;
};

// After every entry the pipeline was given was written under a check that only marks its
// slot of `retry` (one per entry) on a mismatch: a digest that failed on bytes that may
// have come from another version (a range, an answer resumed after a drop) is written
// once more by `rewriter`; if one fails again, the header and table are asked for again
// (CheckVersionHeld), so that a pack that changed starts over (S_RESOURCE_CHANGED). A
// mismatch that stands, or one on bytes of one whole answer, is reported
// (ReportMismatch): E_FAIL.
HRESULT RetryMismatches(const PackTable& table, bool* retry, ByteSource& source, bool inParts,
                        ChunkPipeline& pipeline, ByteProgress& bytes, const CancelToken& cancel,
                        EntryRewriter& rewriter);
