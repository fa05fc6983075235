// What an earlier run may have left below the target, looked at without following
// junctions or symbolic links: what lies behind one is not the target's.
#pragma once

#include <windows.h>

// Nonzero when the folder holds nothing besides "." and "..", and also when it cannot be
// listed.
BOOL IsFolderEmpty(const char* folder);

// `folder` is a folder of its own (not a link to another) and holds anything.
bool HoldsEarlierFiles(const char* folder);

// No folder or file from `root` (exclusive) down to `path` is a junction or link.
bool IsPlainPathBelow(const char* root, const char* path);

// For each of `count` names (each of at most `size` characters, NUL-terminated or not),
// whether another of them names the same file on Windows,
// where names that differ only in case are one file. `sameAsAnother` has `count` slots.
// False when memory runs out.
bool MarkNamesSharedByCase(const char* const* names, size_t size, DWORD count, bool* sameAsAnother);
