// The target folder: the browse callback, the emptiness test and the text's normal form.
#pragma once

#include <windows.h>

#include <afxstr.h>

// Opens the folder browser on the folder whose text is `data`.
int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);

// Nonzero when the folder holds nothing besides "." and "..", and also when it
// cannot be listed.
BOOL IsFolderEmpty(const char* folder);

// Every `/` becomes `\`, and one trailing `\` is dropped.
void NormalizeFolderText(CString& folder);
