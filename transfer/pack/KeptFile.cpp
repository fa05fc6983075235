#include "KeptFile.h"

#include "ByteProgress.h"
#include "CancelToken.h"
#include "FileDigest.h"
#include "Handle.h"
#include "HeldFiles.h"

HRESULT VerifyBytes(HANDLE file, DWORD size, const BYTE (&md5)[16], BYTE* scratch, DWORD scratchSize,
                    volatile LONGLONG* read, const CancelToken& cancel, bool* same)
{
    FileDigest digest;
    DWORD remaining = size;
    *same = false;
    while (remaining > 0) {
        const DWORD wanted = remaining < scratchSize ? remaining : scratchSize;
        DWORD got = 0;
        if (!ReadFile(file, scratch, wanted, &got, NULL) || got != wanted)
            return S_OK;
        digest.Update(scratch, got);
        remaining -= got;
        InterlockedExchangeAdd64(read, got);
        if (cancel.IsCancelled())
            return E_ABORT;
    }
    *same = digest.Matches(md5);
    return S_OK;
}

HRESULT VerifyKeptFile(const char* path, const PackEntry& entry, VolumeTimes volume, BYTE* scratch, DWORD scratchSize,
                       volatile LONGLONG* read, const CancelToken& cancel, bool* kept)
{
    FILE_BASIC_INFO found;
    LARGE_INTEGER size;
    bool same = false;
    HRESULT hr = S_OK;

    *kept = false;
    // The link itself, not what it leads to: what lies behind one is not the target's.
    Handle file(OpenHeldFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file.IsOpen())
        return S_OK;
    // The times and attributes, and the size: two cheap queries (GetFileInformationByHandle
    // also asks for the volume's serial, which costs Wine a look at the device each time).
    if (GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &found, sizeof(found)) &&
        !(found.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        GetFileSizeEx(file.Get(), &size) && size.QuadPart == entry.fileSize)
        hr = VerifyBytes(file.Get(), entry.fileSize, entry.md5, scratch, scratchSize, read, cancel, &same);
    file.Close();
    if (hr != S_OK || !same)
        return hr;
    FILETIME created;
    FILETIME written;
    created.dwLowDateTime = found.CreationTime.LowPart;
    created.dwHighDateTime = static_cast<DWORD>(found.CreationTime.HighPart);
    written.dwLowDateTime = found.LastWriteTime.LowPart;
    written.dwHighDateTime = static_cast<DWORD>(found.LastWriteTime.HighPart);
    // Stamped as a fresh download leaves it, so that the folder ends the same either way.
    *kept = !TimesNeedStamp(created, written, entry.fileTime, false, volume) || SetTimes(path, entry.fileTime, false);
    return S_OK;
}
