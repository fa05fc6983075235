#include "EarlierFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

bool IsLink(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int CompareIgnoringCase(const char* a, const char* b, size_t size)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, static_cast<int>(strnlen(a, size)), b,
                          static_cast<int>(strnlen(b, size))) -
           CSTR_EQUAL;
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

bool MarkNamesSharedByCase(const char* const* names, size_t size, DWORD count, bool* sameAsAnother)
{
    DWORD* order = new (std::nothrow) DWORD[count ? count : 1];
    if (!order)
        return false;
    for (DWORD i = 0; i < count; ++i) {
        order[i] = i;
        sameAsAnother[i] = false;
    }
    std::sort(order, order + count, [&](DWORD a, DWORD b) { return CompareIgnoringCase(names[a], names[b], size) < 0; });
    for (DWORD i = 1; i < count; ++i) {
        if (CompareIgnoringCase(names[order[i - 1]], names[order[i]], size) == 0)
            sameAsAnother[order[i - 1]] = sameAsAnother[order[i]] = true;
    }
    delete[] order;
    return true;
}
