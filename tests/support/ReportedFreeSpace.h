// The free space of every volume, as the transfers are told it while this object lives.
#pragma once

#include <windows.h>

#include <atomic>

#include "FreeSpace.h"

class ReportedFreeSpace {
public:
    explicit ReportedFreeSpace(ULONGLONG bytes)
    {
        free_ = bytes;
        QueryDiskFreeSpace = &Query;
    }
    ~ReportedFreeSpace() { QueryDiskFreeSpace = GetDiskFreeSpaceExW; }
    ReportedFreeSpace(const ReportedFreeSpace&) = delete;
    ReportedFreeSpace& operator=(const ReportedFreeSpace&) = delete;

    void Set(ULONGLONG bytes) { free_ = bytes; }

private:
    // Like GetDiskFreeSpaceExW, it answers only for a folder that exists.
    static BOOL WINAPI Query(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                             PULARGE_INTEGER totalFree)
    {
        DWORD attributes = GetFileAttributesW(directory);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        for (PULARGE_INTEGER value : {freeToCaller, total, totalFree})
            if (value)
                value->QuadPart = free_;
        return TRUE;
    }

    static inline std::atomic<ULONGLONG> free_{0};
};
