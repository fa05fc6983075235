// The target folder: the browse callback and the text's normal form.
#pragma once

#include <windows.h>

#include <afxstr.h>

// Opens the folder browser on the folder whose text is `data`.
int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);

// Every `/` becomes `\`, and one trailing `\` is dropped.
void NormalizeFolderText(CString& folder);
