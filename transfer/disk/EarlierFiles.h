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

