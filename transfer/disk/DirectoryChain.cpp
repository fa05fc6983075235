#include "DirectoryChain.h"

#include <mbstring.h>
#include <cstring>

namespace {

// Succeeds also when another process made the directory between our existence
// test and CreateDirectoryA: what counts is that it is there now.
bool MakeOneDirectory(const char* path)
{
    if (CreateDirectoryA(path, NULL))
        return true;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Returns the position just behind the root (`\\server\share` or `X:\`), or NULL
// when the resolved path has neither form or names only a UNC server.
char* FindRootEnd(char* buffer)
{
    if (buffer[0] == '\\' && buffer[1] == '\\') {
        char* serverEnd = strchr(buffer + 2, '\\');
        if (!serverEnd)
            return NULL;
        char* shareEnd = strchr(serverEnd + 1, '\\');
        return shareEnd ? shareEnd : serverEnd + strlen(serverEnd);
    }
    if (buffer[0] != '\0' && buffer[1] == ':' && buffer[2] == '\\')
        return buffer + 3;
    return NULL;
}

}  // namespace

int CreateDirectoryChain(const char* path)
{
    char buffer[MAX_PATH];
    char* filePart = NULL;

    SetLastError(ERROR_SUCCESS);
    if (!path)
        return 0;
    DWORD length = GetFullPathNameA(path, MAX_PATH, buffer, &filePart);
    // 0: unresolvable (an empty path, for one); MAX_PATH or more: the size it would need.
    if (length == 0 || length >= MAX_PATH)
        return 0;

    for (char* at = buffer; *at; ++at) {
        if (*at == '/')
            *at = '\\';
    }

    char* cut = FindRootEnd(buffer);
    if (!cut)
        return 0;

    char saved = *cut;
    *cut = '\0';
    UINT driveType = GetDriveTypeA(buffer);
    *cut = saved;
    if (driveType == DRIVE_UNKNOWN || driveType == DRIVE_NO_ROOT_DIR)
        return 0;
    if (saved == '\0')
        return 1;

    for (;;) {
        char* next = strchr(cut + 1, '\\');
        cut = next ? next : cut + 1 + strlen(cut + 1);
        saved = *cut;
        *cut = '\0';
        DWORD attributes = GetFileAttributesA(buffer);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!MakeOneDirectory(buffer))
                return 0;
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return 0;
        }
        *cut = saved;
        if (saved == '\0')
            return 1;
    }
}

HANDLE CreateFileWithParents(const char* filePath, DWORD desiredAccess, DWORD shareMode,
                             LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile)
{
    // Most files go into a folder that is already there (the one before them): one call.
    if (filePath && strlen(filePath) < MAX_PATH) {
        HANDLE file = CreateFileA(filePath, desiredAccess, shareMode, securityAttributes, creationDisposition,
                                  flagsAndAttributes, templateFile);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PATH_NOT_FOUND)
            return file;
    }
    if (creationDisposition == CREATE_NEW || creationDisposition == CREATE_ALWAYS ||
        creationDisposition == OPEN_ALWAYS) {
        char parent[MAX_PATH];
        if (!filePath || strlen(filePath) >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        strcpy(parent, filePath);
        unsigned char* text = reinterpret_cast<unsigned char*>(parent);
        unsigned char* backslash = _mbsrchr(text, '\\');
        unsigned char* slash = _mbsrchr(text, '/');
        unsigned char* separator = backslash > slash ? backslash : slash;
        if (separator) {
            *separator = '\0';
            if (!CreateDirectoryChain(parent))
                return INVALID_HANDLE_VALUE;
        }
    }
    return CreateFileA(filePath, desiredAccess, shareMode, securityAttributes, creationDisposition,
                       flagsAndAttributes, templateFile);
}
