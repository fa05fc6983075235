#include "OfflineUpdateJob.h"

#include <cstdio>
#include <cstring>

#include "FileDownload.h"
#include "FreeSpace.h"
#include "HeldFiles.h"
#include "JobItem.h"

namespace {

// Writes the text up to its first NUL beside `path`, then puts it in place, so that a
// failed write leaves the earlier file as it was.
HRESULT SaveCatalogText(const char* path, const char* text)
{
    const CString partPath = PartPath(path);
    FILE* file = fopen(partPath, "wb");
    if (!file)
        return E_FAIL;
    bool written = fputs(text, file) != EOF;
    bool closed = fclose(file) == 0;
    if (written && closed)
        return MoveOver(partPath, path);
    DeleteFileA(partPath);
    return E_FAIL;
}

}  // namespace

HRESULT RunOfflineUpdate(const TransferEnv& env, const UpdateCatalog& catalog, const char* targetFolder)
{
    CString latestPath;

    env.progress.JobStarted(catalog.databaseCount + catalog.fileCount);
    latestPath.Format("%s\\latest.xml", targetFolder);
    const char* text = catalog.xmlText ? catalog.xmlText : "";
    HRESULT hr = EnsureRoomFor(latestPath, strlen(text));
    if (SUCCEEDED(hr))
        hr = SaveCatalogText(latestPath, text);
    if (FAILED(hr))
        return hr;

    // Every file first, then every database, each in catalogue order.
    for (int i = 0; i < catalog.fileCount + catalog.databaseCount; ++i) {
        bool isFile = i < catalog.fileCount;
        const CString& name = isFile ? catalog.files[i].name : catalog.databases[i - catalog.fileCount].name;
        const CString& path = isFile ? catalog.files[i].path : catalog.databases[i - catalog.fileCount].path;
        hr = RunItem(env, name, [&] { return DownloadBelow(env, catalog.baseUrl, targetFolder, path); });
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}
