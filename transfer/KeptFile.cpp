#include "KeptFile.h"

#include "ByteProgress.h"
#include "CancelToken.h"
#include "FileDigest.h"
#include "HeldFiles.h"

HRESULT VerifyBytes(HANDLE file, DWORD size, const BYTE (&md5)[16], BYTE* scratch, DWORD scratchSize,
                    ByteProgress& progress, const CancelToken& cancel, bool* same)
{
    FileDigest digest;
    DWORD remaining = size;
    *same = false;
    while (remaining > 0) {
        const DWORD wanted = remaining < scratchSize ? remaining : scratchSize;
        DWORD got = 0;
        if (!ReadFile(file, scratch, wanted, &got, NULL) || got != wanted)
            break;
        digest.Update(scratch, got);
        remaining -= got;
        progress.Add(got);
        if (cancel.IsCancelled())
            return E_ABORT;
        progress.ReportIfDue();
    }
    *same = remaining == 0 && digest.Matches(md5);
    // Only bytes that are kept count as done; the others are counted as they arrive.
    if (!*same)
        progress.TakeBack(size - remaining);
    return S_OK;
}

HRESULT VerifyKeptFile(const char* path, const PackEntry& entry, VolumeTimes volume, BYTE* scratch, DWORD scratchSize,
                       ByteProgress& progress, const CancelToken& cancel, bool* kept)
{
    LARGE_INTEGER size;
    bool same = false;
    HRESULT hr = S_OK;

    *kept = false;
    HANDLE file = OpenHeldFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE)
        return S_OK;
    if (GetFileSizeEx(file, &size) && size.QuadPart == entry.fileSize)
        hr = VerifyBytes(file, entry.fileSize, entry.md5, scratch, scratchSize, progress, cancel, &same);
    CloseHandle(file);
    if (hr != S_OK)
        return hr;
    // Stamped as a fresh download leaves it, so that the folder ends the same either way.
    *kept = same && StampFile(path, entry.fileTime, false, volume);
    if (same && !*kept)
        progress.TakeBack(entry.fileSize);
    return S_OK;
}
