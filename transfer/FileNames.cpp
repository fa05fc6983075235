#include "FileNames.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

bool IsSeparator(WCHAR ch)
{
    return ch == L'\\' || ch == L'/';
}

// Orders names by their keys; a name without a key sorts first and is one file with none.
int CompareKeys(const char* a, const char* b, size_t size)
{
    WCHAR keyA[kFileKeySize];
    WCHAR keyB[kFileKeySize];
    const size_t lengthA = FileKey(a, size, keyA);
    const size_t lengthB = FileKey(b, size, keyB);
    if (lengthA == 0 || lengthB == 0)
        return lengthA == lengthB ? (a < b ? -1 : a > b) : (lengthA == 0 ? -1 : 1);
    return wcscmp(keyA, keyB);
}

}  // namespace

size_t FileKey(const char* name, size_t size, WCHAR (&key)[kFileKeySize])
{
    WCHAR wide[kFileKeySize];
    const int bytes = static_cast<int>(strnlen(name, size));
    const int length = bytes == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, name, bytes, wide, kFileKeySize - 1);
    if (length <= 0)
        return 0;
    size_t out = 0;
    for (int at = 0; at < length;) {
        const int start = at;
        while (at < length && !IsSeparator(wide[at]))
            ++at;
        int end = at;
        ++at;
        // Doubled or leading separators, and ".", the folder itself, name nothing.
        if (end == start || (end - start == 1 && wide[start] == L'.'))
            continue;
        // Windows drops trailing dots and blanks; a component of nothing else ("..") is
        // kept as it is, for such names are refused before any use.
        int kept = end;
        while (kept > start && (wide[kept - 1] == L'.' || wide[kept - 1] == L' '))
            --kept;
        if (kept > start)
            end = kept;
        if (out > 0)
            key[out++] = L'\\';
        for (int i = start; i < end; ++i)
            key[out++] = wide[i];
    }
    key[out] = L'\0';
    CharUpperBuffW(key, static_cast<DWORD>(out));
    return out;
}

bool NamesOneFile(const char* a, const char* b, size_t size)
{
    WCHAR keyA[kFileKeySize];
    WCHAR keyB[kFileKeySize];
    return FileKey(a, size, keyA) > 0 && FileKey(b, size, keyB) > 0 && wcscmp(keyA, keyB) == 0;
}

bool MarkNamesOfOneFile(const char* const* names, size_t size, DWORD count, bool* sameAsAnother)
{
    DWORD* order = new (std::nothrow) DWORD[count ? count : 1];
    if (!order)
        return false;
    for (DWORD i = 0; i < count; ++i) {
        order[i] = i;
        sameAsAnother[i] = false;
    }
    std::sort(order, order + count,
              [&](DWORD a, DWORD b) { return CompareKeys(names[a], names[b], size) < 0; });
    for (DWORD i = 1; i < count; ++i) {
        if (NamesOneFile(names[order[i - 1]], names[order[i]], size))
            sameAsAnother[order[i - 1]] = sameAsAnother[order[i]] = true;
    }
    delete[] order;
    return true;
}
