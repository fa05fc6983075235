#include "KitJob.h"

#include "HeldFiles.h"
#include "JobItem.h"
#include "PackExtract.h"
#include "PackStream.h"

namespace {

// One item of a kit: the pack at `baseUrl`, "/" and `path`, unpacked below `targetDir`;
// `packFolder`, where known, is the folder it unpacks into (see ExtractPack).
HRESULT DownloadKitPack(const TransferEnv& env, const char* baseUrl, const char* caption, const char* path,
                        const char* targetDir, const char* packFolder)
{
    CString url;
    url.Format("%s/%s", baseUrl, path);
    return RunItem(env, caption, [&] {
        PackStream pack(env, url);
        return ExtractPack(pack, targetDir, packFolder, env.progress, env.cancel);
    });
}

}  // namespace

HRESULT RunKit(const TransferEnv& env, UpdateCatalog& catalog, const char* targetFolder, int kitCode)
{
    HRESULT hr = S_OK;
    HANDLE listFile = INVALID_HANDLE_VALUE;
    CString listPath;
    CString newListPath;
    bool listExisted = false;

    // The strings below throw when memory runs out; the list file is closed all the same.
    try {
        CString token;
        CString databaseDir;
        CString packFolder;
        CString line;
        int selectedCount = 0;

        // The commas keep code 161 from matching 1610.
        token.Format(",%d,", kitCode);
        for (int i = 0; i < catalog.databaseCount; ++i) {
            CatalogDatabase& database = catalog.databases[i];
            if (database.access.IsEmpty() || database.access.Find(token) >= 0) {
                database.selected = 1;
                ++selectedCount;
            }
        }

        env.progress.JobStarted(selectedCount + 1);
        hr = DownloadKitPack(env, catalog.baseUrl, "Исполняемые файлы", "initial.pack", targetFolder, nullptr);
        if (FAILED(hr))
            return hr;

        // The new list grows beside the old one, which stays until the job ends.
        listPath.Format("%s\\ZebDbLst.ini", targetFolder);
        newListPath = PartPath(listPath);
        listExisted = GetFileAttributesA(listPath) != INVALID_FILE_ATTRIBUTES;
        listFile = OpenHeldFile(newListPath, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (listFile == INVALID_HANDLE_VALUE)
            return E_FAIL;

        databaseDir.Format("%s\\Database", targetFolder);
        for (int i = 0; i < catalog.databaseCount; ++i) {
            const CatalogDatabase& database = catalog.databases[i];
            if (!database.selected)
                continue;
            // A database unpacks into the folder of its name, which the list names too.
            packFolder.Format("%s\\%s", static_cast<const char*>(databaseDir), static_cast<const char*>(database.name));
            hr = DownloadKitPack(env, catalog.baseUrl, database.name, database.path, databaseDir, packFolder);
            if (FAILED(hr))
                break;
            line.Format("#include = [St,Database\\%s\\%s.ini]\r\n", static_cast<const char*>(database.name),
                        static_cast<const char*>(database.name));
            DWORD written = 0;
            if (!WriteFile(listFile, static_cast<const char*>(line), static_cast<DWORD>(line.GetLength()), &written,
                           NULL) ||
                written != static_cast<DWORD>(line.GetLength())) {
                hr = E_FAIL;
                break;
            }
        }
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }

    if (listFile != INVALID_HANDLE_VALUE) {
        CloseHandle(listFile);
        // A run that did not finish lists the databases it completed only where there was
        // no list; an earlier list names what the folder held, and stays.
        if (SUCCEEDED(hr) || !listExisted) {
            HRESULT moved = MoveOver(newListPath, listPath);
            if (SUCCEEDED(hr))
                hr = moved;
        } else {
            DeleteFileA(newListPath);
        }
    }
    return hr;
}
