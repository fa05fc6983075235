#include "KeptFile.h"

#include "ByteProgress.h"
#include "CancelToken.h"
#include "FileDigest.h"
#include "HeldFiles.h"

HRESULT VerifyKeptFile(const char* path, const PackEntry& entry, VolumeTimes volume, BYTE* scratch, DWORD scratchSize,
                       ByteProgress& progress, const CancelToken& cancel, bool* kept)
{
    HRESULT hr = S_OK;
    FileDigest digest;
    LARGE_INTEGER size;
    DWORD remaining = entry.fileSize;
    bool same = false;

    *kept = false;
    HANDLE file = OpenHeldFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE)
        return S_OK;
    if (!GetFileSizeEx(file, &size) || size.QuadPart != entry.fileSize)
        goto CleanUp;
    while (remaining > 0) {
        DWORD wanted = remaining < scratchSize ? remaining : scratchSize;
        DWORD got = 0;
        if (!ReadFile(file, scratch, wanted, &got, NULL) || got != wanted)
            goto CleanUp;
        digest.Update(scratch, got);
        remaining -= got;
        progress.Add(got);
        if (cancel.IsCancelled()) {
            hr = E_ABORT;
            goto CleanUp;
        }
        progress.ReportIfDue();
    }
    same = digest.Matches(entry.md5);

CleanUp:
    CloseHandle(file);
    // Stamped as a fresh download leaves it, so that the folder ends the same either way.
    *kept = same && StampFile(path, entry.fileTime, false, volume);
    // Only a kept file's bytes count as done; the others are counted as they arrive.
    if (!*kept && hr == S_OK)
        progress.TakeBack(entry.fileSize - remaining);
    return hr;
}
