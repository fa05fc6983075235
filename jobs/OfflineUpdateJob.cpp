// DownloadDialog::RunOfflineUpdateJob: latest.xml, then every file and every database as plain files.
#include <cstdio>

#include "DownloadDialog.h"
#include "AbortFlag.h"

namespace {

// Writes the text up to its first NUL; a short write or a failed close fails.
HRESULT SaveCatalogText(const char* path, const char* text)
{
    FILE* file = fopen(path, "wb");
    if (!file)
        return E_FAIL;
    bool written = fputs(text, file) != EOF;
    bool closed = fclose(file) == 0;
    return written && closed ? S_OK : E_FAIL;
}

}  // namespace

HRESULT DownloadDialog::RunOfflineUpdateJob()
{
    CString latestPath;
    int position = 0;

    overallCaption.SetWindowText("Общий ход");
    overallProgress.SendMessage(PBM_SETRANGE32, 0, catalog.databaseCount + catalog.fileCount);
    overallProgress.SendMessage(PBM_SETPOS, 0, 0);

    latestPath.Format("%s\\latest.xml", static_cast<const char*>(targetFolder));
    HRESULT hr = SaveCatalogText(latestPath, catalog.xmlText ? catalog.xmlText : "");
    if (FAILED(hr))
        return hr;

    // Every file first, then every database, each in catalogue order.
    for (int i = 0; i < catalog.fileCount + catalog.databaseCount; ++i) {
        bool isFile = i < catalog.fileCount;
        const CString& name = isFile ? catalog.files[i].name : catalog.databases[i - catalog.fileCount].name;
        const CString& path = isFile ? catalog.files[i].path : catalog.databases[i - catalog.fileCount].path;
        hr = DownloadFile(name, path);
        if (FAILED(hr))
            return hr;
        if (IsAbortRequested(&abortRequested))
            return S_OK;
        overallProgress.SendMessage(PBM_SETPOS, ++position, 0);
    }
    return S_OK;
}
