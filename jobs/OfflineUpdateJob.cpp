#include "OfflineUpdateJob.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "FileDownload.h"
#include "FreeSpace.h"
#include "HeldFiles.h"
#include "ItemNames.h"
#include "JobItem.h"
#include "PackStore.h"

namespace {

// Writes the text up to its first NUL as `path`; a failed write leaves no such file.
HRESULT WriteCatalogText(const char* path, const char* text)
{
    FILE* file = fopen(path, "wb");
    if (!file)
        return E_FAIL;
    bool written = fputs(text, file) != EOF;
    bool closed = fclose(file) == 0;
    if (written && closed)
        return S_OK;
    DeleteFileA(path);
    return E_FAIL;
}

HRESULT RunItems(const TransferEnv& env, const UpdateCatalog& catalog, const char* targetFolder)
{
    // Every file first, then every database, each in catalogue order.
    const int count = catalog.fileCount + catalog.databaseCount;
    std::unique_ptr<const char*[]> paths(new (std::nothrow) const char*[count ? count : 1]);
    std::unique_ptr<ItemName[]> names(new (std::nothrow) ItemName[count ? count : 1]);
    if (!paths || !names)
        return E_OUTOFMEMORY;
    for (int i = 0; i < count; ++i)
        paths[i] = i < catalog.fileCount ? catalog.files[i].path : catalog.databases[i - catalog.fileCount].path;
    if (!NameItems(paths.get(), count, names.get()))
        return E_OUTOFMEMORY;
    for (int i = 0; i < count; ++i) {
        const bool isFile = i < catalog.fileCount;
        const CString& name = isFile ? catalog.files[i].name : catalog.databases[i - catalog.fileCount].name;
        const bool anew = names[i] == ItemName::kAfterAnEarlier;
        // A database is a pack: checked by its own digests as it is stored, and on a rerun.
        HRESULT hr = RunItem(env, name, [&] {
            if (names[i] == ItemName::kTools)
                return E_FAIL;
            return isFile ? DownloadBelow(env, catalog.baseUrl, targetFolder, paths[i], anew)
                          : DownloadPackBelow(env, catalog.baseUrl, targetFolder, paths[i], anew);
        });
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT RunOfflineUpdate(const TransferEnv& env, const UpdateCatalog& catalog, const char* targetFolder)
{
    CString latestPath;

    env.progress.JobStarted(catalog.databaseCount + catalog.fileCount);
    latestPath.Format("%s\\latest.xml", targetFolder);
    const char* text = catalog.xmlText ? catalog.xmlText : "";
    const DWORD earlier = GetFileAttributesA(latestPath);
    // A folder of that name could never be replaced: known before anything is fetched.
    if (earlier != INVALID_FILE_ATTRIBUTES && (earlier & FILE_ATTRIBUTE_DIRECTORY))
        return E_FAIL;
    // The catalogue names what the folder holds: an earlier one is replaced only once every
    // item the new one lists has arrived, and stays when the run does not finish. Where
    // there was none, the new one is written at once, so that even a run the user ends
    // while a read is stalled leaves it beside what it fetched.
    const bool replacing = earlier != INVALID_FILE_ATTRIBUTES;
    const CString written = replacing ? PartPath(latestPath) : latestPath;
    HRESULT hr = EnsureRoomFor(latestPath, strlen(text));
    if (SUCCEEDED(hr))
        hr = WriteCatalogText(written, text);
    if (FAILED(hr))
        return hr;
    hr = RunItems(env, catalog, targetFolder);
    return replacing ? PutInPlace(hr, written, latestPath) : hr;
}
