// Whether the target's volume has room for what an item still has to write, asked before
// its bytes are fetched.
#pragma once

#include <windows.h>

// The one query of a volume's free space: GetDiskFreeSpaceExW, unless a test has put
// another function of the same shape here.
extern BOOL(WINAPI* QueryDiskFreeSpace)(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                                        PULARGE_INTEGER totalFree);

// S_OK when the volume that holds `path` (a folder, or a file in one; neither need exist
// yet, the nearest existing folder above is asked) has at least `stillToWrite` bytes free
// for this user, and also when its free space cannot be told (the query fails, or says
// the volume's total size is 0: the write itself then decides). Otherwise E_FAIL, what the transfers give for a write that fails. A UNC path
// to a share is asked the same way.
HRESULT EnsureRoomFor(const char* path, ULONGLONG stillToWrite);
