#include "EarlierFiles.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsLink(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

BOOL IsFolderEmpty(const char* folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (snprintf(pattern, sizeof(pattern), "%s\\*", folder) >= static_cast<int>(sizeof(pattern)))
        return TRUE;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return TRUE;
    bool any = false;
    do
        any = strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0;
    while (!any && FindNextFileA(search, &found));
    FindClose(search);
    return !any;
}

bool HoldsEarlierFiles(const char* folder)
{
    return !IsLink(folder) && !IsFolderEmpty(folder);
}

bool IsPlainPathBelow(const char* root, const char* path)
{
    const size_t rootLength = strlen(root);
    if (strncmp(root, path, rootLength) != 0)
        return false;
    char prefix[MAX_PATH];
    for (const char* at = path + rootLength;; at = CharNextA(at)) {
        if (*at != '\\' && *at != '/' && *at != '\0')
            continue;
        const size_t length = static_cast<size_t>(at - path);
        if (length > rootLength && length < sizeof(prefix)) {
            memcpy(prefix, path, length);
            prefix[length] = '\0';
            if (IsLink(prefix))
                return false;
        }
        if (*at == '\0')
            return true;
    }
}
