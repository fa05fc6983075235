// Checking that a name from a pack or the catalogue stays inside the folder it is joined to.
#pragma once

#include <afxstr.h>

// True when `name` is relative and cannot climb out: no drive, no UNC prefix (one
// leading separator is allowed: joined behind the folder it stays inside), no `:`
// anywhere, no component of two or more dots with only dots and blanks (Windows
// strips trailing dots and blanks, so "..." and ".. " are ".." too), and no component
// that names a device (NUL, CON, COM1, "nul.txt", ...), which would swallow the bytes
// instead of storing them. `\` and `/` both separate.
bool IsContainedRelativePath(const char* name);

// A resource that the catalogue lists by `path` (joined unchanged): at baseUrl + "/" +
// path, stored as folder + "/" + path. False for a path that could lead outside `folder`.
bool JoinCatalogPath(const char* baseUrl, const char* folder, const char* path, CString* url, CString* localPath);
