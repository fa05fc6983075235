// Files that another program may hold for a moment: antivirus scanners and indexers open
// a file the program has just closed, and an open or a rename then fails briefly.
#pragma once

#include <windows.h>

#include <afxstr.h>

#include "VolumeTimes.h"

// Whether a failure with this error may be such a moment.
bool MayBeHeldBriefly(DWORD error);

// Runs `attempt` (true on success, with GetLastError() set on failure) until it succeeds,
// fails otherwise, or has been held for about 2 s.
template <typename Attempt>
bool WhileHeld(Attempt attempt)
{
    for (int tries = 0;; ++tries) {
        if (attempt())
            return true;
        const DWORD error = GetLastError();
        if (tries >= 20 || !MayBeHeldBriefly(error))
            return false;
        Sleep(100);
        SetLastError(error);
    }
}

// CreateFileA through WhileHeld.
HANDLE OpenHeldFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// Gives the file `time` as its creation, access and write time (`writeOnly`: as its access
// and write time, see OutputFile::stamped) where its write time (or, unless `writeOnly`,
// its creation time) differs by more than its volume keeps (`volume`); a file that
// already has them is not touched, so that a read-only file that is already right is no
// failure. The access time is not compared: reading a file moves it wherever the volume
// keeps access times, and every second run would write every file again.
bool StampFile(const char* path, const FILETIME& time, bool writeOnly, VolumeTimes volume);
// The two halves of StampFile: whether a file of these times needs `time`, and giving it.
bool TimesNeedStamp(const FILETIME& creation, const FILETIME& write, const FILETIME& time, bool writeOnly,
                    VolumeTimes volume);
bool SetTimes(const char* path, const FILETIME& time, bool writeOnly);

// Puts `from` in place of `to`, which may exist: the replacement is whole or nothing.
HRESULT MoveOver(const char* from, const char* to);

// The name beside `path` under which its replacement is received.
CString PartPath(const char* path);

// Ends a replacement received as `partPath` as the transfer ended (`hr`): once it has
// succeeded, put in place of `path` (MoveOver's result); otherwise removed, `path` left
// as it was (hr).
HRESULT PutInPlace(HRESULT hr, const char* partPath, const char* path);
