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
    // Each key is made once and kept as a 64-bit FNV-1a hash; only names of one hash are
    // compared whole.
    struct Hashed {
        ULONGLONG hash;
        DWORD index;
    };
    Hashed* order = new (std::nothrow) Hashed[count ? count : 1];
    if (!order)
        return false;
    for (DWORD i = 0; i < count; ++i) {
        WCHAR key[kFileKeySize];
        const size_t length = FileKey(names[i], size, key);
        ULONGLONG hash = 14695981039346656037ull;
        for (size_t at = 0; at < length; ++at)
            hash = (hash ^ key[at]) * 1099511628211ull;
        order[i] = Hashed{length ? hash : 0, i};
        sameAsAnother[i] = false;
    }
    std::sort(order, order + count, [](const Hashed& a, const Hashed& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.index < b.index;
    });
    for (DWORD first = 0; first < count;) {
        DWORD end = first + 1;
        while (end < count && order[end].hash == order[first].hash)
            ++end;
        for (DWORD a = first; a + 1 < end; ++a) {
            for (DWORD b = a + 1; b < end; ++b) {
                if (NamesOneFile(names[order[a].index], names[order[b].index], size))
                    sameAsAnother[order[a].index] = sameAsAnother[order[b].index] = true;
            }
        }
        first = end;
    }
    delete[] order;
    return true;
}
