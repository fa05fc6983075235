// How exactly a volume keeps the times given to its files, and whether a time read back
// is the one that was given: FAT keeps them coarsely, and a second run must not take a
// file for another version because its volume rounded the time.
#pragma once

#include <windows.h>

enum class VolumeTimes {
    // NTFS, exFAT, and every volume not known to be FAT: to the second or better.
    kExact,
    // FAT and FAT32: the write time to 2 s, in local time (so a change of daylight saving
    // time moves every file by an hour).
    kFat,
};

// The one query of a volume's file system: GetVolumeInformationByHandleW, unless a test
// has put another function of the same shape here.
extern BOOL(WINAPI* QueryVolumeInformation)(HANDLE file, LPWSTR name, DWORD nameSize, LPDWORD serial,
                                            LPDWORD longestComponent, LPDWORD flags, LPWSTR fileSystem,
                                            DWORD fileSystemSize);

// The keeping of the volume that holds `path` (a file or a folder, which must exist),
// from its file-system name, asked through a handle to `path` itself, so that a volume
// mounted in a folder is the one asked; kExact when the volume cannot be asked.
VolumeTimes VolumeTimesOf(const char* path);

// Whether `readBack`, a write or creation time as the volume returns it, is `given`: the
// same second where times are exact; on FAT within 2 s, or within 2 s of exactly one hour
// apart, as robocopy's /FFT and /DST compare them.
bool TimeAsKept(const FILETIME& readBack, const FILETIME& given, VolumeTimes volume);

