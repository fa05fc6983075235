// Making the directories of a path before something is written into it.
#pragma once

#include <windows.h>

// Makes every directory of `path` that does not exist yet, from the root down.
// Returns 1 when every directory of the path exists afterwards, 0 otherwise
// (no usable root, something other than a directory in the way, a path that
// cannot be resolved or whose full form exceeds MAX_PATH - 1 characters).
int CreateDirectoryChain(const char* path);

// CreateFileA with the same arguments and result; for the dispositions that may
// create a file (CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS), where a parent directory is
// missing (ERROR_PATH_NOT_FOUND), the parent directories are made and the file is
// created again; INVALID_HANDLE_VALUE when they cannot be made.
HANDLE CreateFileWithParents(const char* filePath, DWORD desiredAccess, DWORD shareMode,
                             LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile);
