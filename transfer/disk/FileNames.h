// When two names are one file on Windows: catalogue paths and pack entry names that differ
// only as Windows does not tell them apart must never be joined into one file's bytes.
#pragma once

#include <windows.h>

#include <cstddef>

// The longest key: a name of MAX_PATH characters.
const size_t kFileKeySize = MAX_PATH;

// The key under which Windows opens `name` (relative, in the ANSI code page, of at most
// `size` bytes when it has no NUL before): `/` and `\` alike, one leading separator, empty
// and "." components, and trailing dots and blanks of each component dropped, in upper
// case, as the file system compares names. Returns its length; 0 for a name of nothing,
// or one too long for a key.
size_t FileKey(const char* name, size_t size, WCHAR (&key)[kFileKeySize]);

// Whether `a` and `b` (each of at most `size` bytes) name one file.
bool NamesOneFile(const char* a, const char* b, size_t size);

// For each of `count` names (each of at most `size` bytes), whether another of them names
// the same file. `sameAsAnother` has `count` slots. False when memory runs out.
bool MarkNamesOfOneFile(const char* const* names, size_t size, DWORD count, bool* sameAsAnother);
