#include "KitJob.h"

#include "AbortFlag.h"
#include "HeldFiles.h"
#include "PackStream.h"

HRESULT DownloadKitPack(const JobContext& job, const char* caption, const char* path, const char* targetDir,
                        const char* packFolder)
{
    CString url;
    url.Format("%s/%s", static_cast<const char*>(job.catalog->baseUrl), path);
    PackStream stream;
    stream.SetSource(url, job.session, job.openRequest, job.retry);
    if (packFolder)
        stream.ExpectFolder(packFolder);
    job.itemCaption->SetWindowText(caption);
    HRESULT hr = stream.Extract(targetDir, job.itemProgress, job.abortFlag);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT RunKit(const JobContext& job, int kitCode)
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
        int position = 1;

        // The commas keep code 161 from matching 1610.
        token.Format(",%d,", kitCode);
        UpdateCatalog& catalog = *job.catalog;
        for (int i = 0; i < catalog.databaseCount; ++i) {
            CatalogDatabase& database = catalog.databases[i];
            if (database.access.IsEmpty() || database.access.Find(token) >= 0) {
                database.selected = 1;
                ++selectedCount;
            }
        }

        job.overallCaption->SetWindowText("Общий ход");
        job.overallProgress->SendMessage(PBM_SETRANGE32, 0, selectedCount + 1);
        job.overallProgress->SendMessage(PBM_SETPOS, 0, 0);

        hr = DownloadKitPack(job, "Исполняемые файлы", "initial.pack", job.targetFolder);
        if (FAILED(hr) || IsAbortRequested(job.abortFlag))
            return FAILED(hr) ? hr : S_OK;
        job.overallProgress->SendMessage(PBM_SETPOS, 1, 0);

        // The new list grows beside the old one, which stays until the job ends.
        listPath.Format("%s\\ZebDbLst.ini", job.targetFolder);
        newListPath = PartPath(listPath);
        listExisted = GetFileAttributesA(listPath) != INVALID_FILE_ATTRIBUTES;
        listFile = OpenHeldFile(newListPath, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (listFile == INVALID_HANDLE_VALUE)
            return E_FAIL;

        databaseDir.Format("%s\\Database", job.targetFolder);
        for (int i = 0; i < catalog.databaseCount; ++i) {
            const CatalogDatabase& database = catalog.databases[i];
            if (!database.selected)
                continue;
            // A database unpacks into the folder of its name, which the list names too.
            packFolder.Format("%s\\%s", static_cast<const char*>(databaseDir), static_cast<const char*>(database.name));
            hr = DownloadKitPack(job, database.name, database.path, databaseDir, packFolder);
            if (FAILED(hr))
                break;
            if (IsAbortRequested(job.abortFlag)) {
                hr = S_OK;
                break;
            }
            job.overallProgress->SendMessage(PBM_SETPOS, ++position, 0);
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
        const bool finished = SUCCEEDED(hr) && !IsAbortRequested(job.abortFlag);
        if (finished || !listExisted) {
            HRESULT moved = MoveOver(newListPath, listPath);
            if (SUCCEEDED(hr))
                hr = moved;
        } else {
            DeleteFileA(newListPath);
        }
    }
    return hr;
}
