#include "PackTable.h"

#include <cstring>
#include <new>

#include "ByteProgress.h"
#include "CancelToken.h"
#include "ChunkPipeline.h"

namespace {

bool AnyMarked(const bool* retry, DWORD count)
{
    for (DWORD index = 0; index < count; ++index) {
        if (retry[index])
            return true;
    }
    return false;
}

bool ReadAll(HANDLE file, void* buffer, DWORD size)
{
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, NULL) && got == size;
}

}  // namespace

bool PackTable::HeaderCanBe(ULONGLONG packSize) const
{
    return header_.entryCount <= kMaxPackEntryCount && TableEnd() <= packSize;
}

bool PackTable::Allocate()
{
    entries_.reset(new (std::nothrow) PackEntry[Count() ? Count() : 1]);
    offsets_.reset(new (std::nothrow) ULONGLONG[Count() ? Count() : 1]);
    return entries_ && offsets_;
}

// Each entry's bytes follow the table in the order of its entries.
void PackTable::PlaceEntries()
{
    ULONGLONG offset = TableEnd();
    for (DWORD index = 0; index < Count(); ++index) {
        offsets_[index] = offset;
        offset += entries_[index].fileSize;
    }
}

HRESULT PackTable::ReadHeader(ByteSource& source, ByteProgress& bytes, const CancelToken& cancel)
{
    DWORD got = 0;
    HRESULT hr = ReadChunk(source, &header_, sizeof(header_), &got, bytes, cancel);
    if (hr != S_OK)
        return hr;
    return got == sizeof(header_) && HeaderCanBe(source.Length()) ? S_OK : E_FAIL;
}

HRESULT PackTable::ReadEntries(ByteSource& source, bool alone, ByteProgress& bytes, const CancelToken& cancel)
{
    if (!Allocate())
        return E_FAIL;
    if (Count() == 0)
        return S_OK;
    HRESULT hr = source.Seek(sizeof(PackHeader), alone ? TableEnd() : kToTheEnd);
    if (hr != S_OK)
        return hr;
    const DWORD tableSize = Count() * static_cast<DWORD>(sizeof(PackEntry));
    DWORD got = 0;
    hr = ReadChunk(source, entries_.get(), tableSize, &got, bytes, cancel);
    if (hr != S_OK)
        return hr;
    if (got != tableSize)
        return E_FAIL;
    PlaceEntries();
    return S_OK;
}

HRESULT PackTable::Read(ByteSource& source, bool alone, ByteProgress& bytes, const CancelToken& cancel)
{
    const HRESULT hr = ReadHeader(source, bytes, cancel);
    return hr == S_OK ? ReadEntries(source, alone, bytes, cancel) : hr;
}

bool PackTable::ReadFrom(HANDLE file, ULONGLONG fileSize)
{
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, NULL, FILE_BEGIN) || !ReadAll(file, &header_, sizeof(header_)) ||
        !HeaderCanBe(fileSize) || !Allocate())
        return false;
    if (Count() > 0 && !ReadAll(file, entries_.get(), Count() * static_cast<DWORD>(sizeof(PackEntry))))
        return false;
    PlaceEntries();
    return true;
}

bool PackTable::SameAs(const PackTable& other) const
{
    return memcmp(&header_, &other.header_, sizeof(header_)) == 0 &&
           (Count() == 0 || memcmp(entries_.get(), other.entries_.get(), Count() * sizeof(PackEntry)) == 0);
}

PackCheck PackTable::CheckOf(DWORD index, bool* retry) const
{
    PackCheck check = {};
    memcpy(check.md5, entries_[index].md5, sizeof(check.md5));
    check.packName = header_.packName;
    check.fileName = entries_[index].fileName;
    check.retry = retry;
    return check;
}

bool PackTable::Match(ULONGLONG offset, const BYTE* bytes, DWORD size) const
{
    while (size > 0) {
        const BYTE* held;
        ULONGLONG left;
        if (offset < sizeof(PackHeader)) {
            held = reinterpret_cast<const BYTE*>(&header_) + offset;
            left = sizeof(PackHeader) - offset;
        } else {
            // The table is read whole before it names the version.
            if (!entries_ || offset >= TableEnd())
                return false;
            held = reinterpret_cast<const BYTE*>(entries_.get()) + (offset - sizeof(PackHeader));
            left = TableEnd() - offset;
        }
        const DWORD compared = size < left ? size : static_cast<DWORD>(left);
        if (memcmp(held, bytes, compared) != 0)
            return false;
        offset += compared;
        bytes += compared;
        size -= compared;
    }
    return true;
}

HRESULT CheckVersionHeld(ByteSource& source, const PackTable& held, bool inParts, ByteProgress& bytes,
                         const CancelToken& cancel)
{
    PackTable now;
    HRESULT hr = source.Seek(0, inParts ? sizeof(PackHeader) : kToTheEnd);
    if (hr == S_OK)
        hr = now.Read(source, inParts, bytes, cancel);
    if (hr != S_OK)
        return hr;
    return now.SameAs(held) ? S_OK : S_RESOURCE_CHANGED;
}

HRESULT RetryMismatches(const PackTable& table, bool* retry, ByteSource& source, bool inParts,
                        ChunkPipeline& pipeline, ByteProgress& bytes, const CancelToken& cancel,
                        EntryRewriter& rewriter)
{
    HRESULT hr = pipeline.WaitIdle();
    if (FAILED(hr) || !AnyMarked(retry, table.Count()))
        return hr;
    if (source.Resumed()) {
        for (DWORD index = 0; index < table.Count(); ++index) {
            if (!retry[index])
                continue;
            retry[index] = false;
            bytes.TakeBack(table.Entry(index).fileSize);
            hr = rewriter.WriteAgain(index, &retry[index]);
            if (hr != S_OK)
                return hr;
        }
        hr = pipeline.WaitIdle();
        if (FAILED(hr) || !AnyMarked(retry, table.Count()))
            return hr;
        hr = CheckVersionHeld(source, table, inParts, bytes, cancel);
        if (hr != S_OK)
            return hr;
    }
    for (DWORD index = 0; index < table.Count(); ++index) {
        if (retry[index])
            ReportMismatch(table.Header().packName, table.Entry(index).fileName);
    }
    return E_FAIL;
}
