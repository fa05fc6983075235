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
    ~ReportedFreeSpace()
    {
        QueryDiskFreeSpace = GetDiskFreeSpaceExW;
        total_ = kSameAsFree;
    }
    ReportedFreeSpace(const ReportedFreeSpace&) = delete;
    ReportedFreeSpace& operator=(const ReportedFreeSpace&) = delete;

    void Set(ULONGLONG bytes) { free_ = bytes; }
    // The volume's total size as reported: 0 as some shares and FUSE volumes report it,
    // or else the free space.
    void SetTotal(ULONGLONG bytes) { total_ = bytes; }

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
        for (PULARGE_INTEGER value : {freeToCaller, totalFree})
            if (value)
                value->QuadPart = free_;
        if (total)
            total->QuadPart = total_ == kSameAsFree ? free_.load() : total_.load();
        return TRUE;
    }

    static constexpr ULONGLONG kSameAsFree = ~0ull;
    static inline std::atomic<ULONGLONG> free_{0};
    static inline std::atomic<ULONGLONG> total_{kSameAsFree};
};
