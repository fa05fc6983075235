#include "FreeSpace.h"

#include <cwchar>

BOOL(WINAPI* QueryDiskFreeSpace)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) = GetDiskFreeSpaceExW;

HRESULT EnsureRoomFor(const char* path, ULONGLONG stillToWrite)
{
    if (stillToWrite == 0)
        return S_OK;
    // Room for a trailing backslash, which a UNC share's root must have.
    WCHAR directory[MAX_PATH + 2];
    int length = MultiByteToWideChar(CP_ACP, 0, path, -1, directory, MAX_PATH);
    if (length <= 1)
        return S_OK;
    length -= 1;
    for (;;) {
        while (length > 0 && (directory[length - 1] == L'\\' || directory[length - 1] == L'/'))
            --length;
        if (length == 0)
            return S_OK;
        directory[length] = L'\\';
        directory[length + 1] = L'\0';
        ULARGE_INTEGER freeToCaller;
        ULARGE_INTEGER total;
        // A total of 0 is no answer: FUSE volumes, some network shares and WebDAV drives
        // report it.
        if (QueryDiskFreeSpace(directory, &freeToCaller, &total, NULL))
            return total.QuadPart > 0 && stillToWrite > freeToCaller.QuadPart ? E_FAIL : S_OK;
        // A folder that the item creates does not exist yet: its parent is on the same volume.
        while (length > 0 && directory[length - 1] != L'\\' && directory[length - 1] != L'/')
            --length;
    }
}
