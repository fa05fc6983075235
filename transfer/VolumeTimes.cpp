#include "VolumeTimes.h"

#include <wchar.h>

#include "Handle.h"

namespace {

const ULONGLONG kTicksPerSecond = 10000000ull;

ULONGLONG Ticks(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG Apart(const FILETIME& a, const FILETIME& b)
{
    return Ticks(a) > Ticks(b) ? Ticks(a) - Ticks(b) : Ticks(b) - Ticks(a);
}

bool Near(ULONGLONG apart, ULONGLONG to, ULONGLONG tolerance)
{
    return apart >= to ? apart - to <= tolerance : to - apart <= tolerance;
}

}  // namespace

BOOL(WINAPI* QueryVolumeInformation)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR,
                                     DWORD) = GetVolumeInformationByHandleW;

VolumeTimes VolumeTimesOf(const char* path)
{
    WCHAR fileSystem[MAX_PATH + 1];
    // Attributes only, and a folder too (backup semantics).
    Handle file(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL));
    const bool named =
        file.IsOpen() && QueryVolumeInformation(file.Get(), NULL, 0, NULL, NULL, NULL, fileSystem, MAX_PATH + 1);
    return named && (_wcsicmp(fileSystem, L"FAT") == 0 || _wcsicmp(fileSystem, L"FAT32") == 0) ? VolumeTimes::kFat
                                                                                               : VolumeTimes::kExact;
}

bool TimeAsKept(const FILETIME& readBack, const FILETIME& given, VolumeTimes volume)
{
    if (volume == VolumeTimes::kExact)
        return Ticks(readBack) / kTicksPerSecond == Ticks(given) / kTicksPerSecond;
    const ULONGLONG apart = Apart(readBack, given);
    return apart <= 2 * kTicksPerSecond || Near(apart, 3600 * kTicksPerSecond, 2 * kTicksPerSecond);
}
