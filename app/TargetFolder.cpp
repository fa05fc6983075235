// DownloadDialog::OnBrowseFolder and the folder helpers of the OK handler.
#include "TargetFolder.h"

#include <mbstring.h>
#include <shlobj.h>

#include "DownloadDialog.h"

int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED)
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

void NormalizeFolderText(CString& folder)
{
    folder.Replace('/', '\\');
    int length = folder.GetLength();
    if (length > 0 && folder[length - 1] == '\\')
        folder.Delete(length - 1);
}

void DownloadDialog::OnBrowseFolder()
{
    // Neither a catalogue fetch nor a running job may see its folder change.
    if (catalogFetch || workerThread)
        return;
    UpdateData(TRUE);

    IMalloc* allocator = NULL;
    SHGetMalloc(&allocator);
    char displayName[MAX_PATH] = "";
    BROWSEINFOA request = {};
    request.hwndOwner = GetSafeHwnd();
    request.pidlRoot = NULL;
    request.pszDisplayName = displayName;
    request.lpszTitle = "Выберите папку";
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    request.lpfn = BrowseFolderCallback;
    request.lParam = reinterpret_cast<LPARAM>(static_cast<const char*>(targetFolder));

    LPITEMIDLIST chosen = SHBrowseForFolderA(&request);
    if (chosen) {
        if (SHGetPathFromIDListA(chosen, displayName) &&
            _mbscmp(reinterpret_cast<const unsigned char*>(displayName),
                    reinterpret_cast<const unsigned char*>(static_cast<const char*>(targetFolder))) != 0) {
            targetFolder = displayName;
            UpdateData(FALSE);
        }
        // The list belongs to the shell's allocator, even when none could be obtained here.
        if (allocator)
            allocator->Free(chosen);
        else
            CoTaskMemFree(chosen);
    }
    if (allocator)
        allocator->Release();
    UpdateData(FALSE);
}
