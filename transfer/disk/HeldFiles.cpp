#include "HeldFiles.h"

#include "Handle.h"

bool MayBeHeldBriefly(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

HANDLE OpenHeldFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    WhileHeld([&] {
        file = CreateFileA(path, access, share, NULL, disposition, flags, NULL);
        return file != INVALID_HANDLE_VALUE;
    });
    return file;
}

bool TimesNeedStamp(const FILETIME& creation, const FILETIME& write, const FILETIME& time, bool writeOnly,
                    VolumeTimes volume)
{
    return !TimeAsKept(write, time, volume) || (!writeOnly && !TimeAsKept(creation, time, volume));
}

bool SetTimes(const char* path, const FILETIME& time, bool writeOnly)
{
    // Attributes only: a read-only file takes its times too.
    Handle file(OpenHeldFile(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    return file.IsOpen() && (writeOnly ? SetFileTime(file.Get(), NULL, &time, &time)
                                       : SetFileTime(file.Get(), &time, &time, &time)) &&
           file.Close();
}

bool StampFile(const char* path, const FILETIME& time, bool writeOnly, VolumeTimes volume)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &found))
        return false;
    return !TimesNeedStamp(found.ftCreationTime, found.ftLastWriteTime, time, writeOnly, volume) ||
           SetTimes(path, time, writeOnly);
}

HRESULT MoveOver(const char* from, const char* to)
{
    return WhileHeld([&] { return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; })
               ? S_OK
               : E_FAIL;
}

CString PartPath(const char* path)
{
    CString part;
    part.Format("%s.part", path);
    return part;
}

HRESULT PutInPlace(HRESULT hr, const char* partPath, const char* path)
{
    if (SUCCEEDED(hr))
        return MoveOver(partPath, path);
    DeleteFileA(partPath);
    return hr;
}
