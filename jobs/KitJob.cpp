// DownloadDialog::DownloadPack and RunKitJob: initial.pack, the kit's databases and ZebDbLst.ini.
#include "AbortFlag.h"
#include "DownloadDialog.h"
#include "PackStream.h"

HRESULT DownloadDialog::DownloadPack(const char* caption, const char* path, const char* targetDir)
{
    CString url;
    url.Format("%s/%s", static_cast<const char*>(catalog.baseUrl), path);
    PackStream stream;
    stream.SetSource(url, internetSession, &openRequest);
    itemCaption.SetWindowText(caption);
    HRESULT hr = stream.Extract(targetDir, &itemProgress, &abortRequested);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT DownloadDialog::RunKitJob(int kitCode)
{
    HRESULT hr = S_OK;
    HANDLE listFile = INVALID_HANDLE_VALUE;

    // The strings below throw when memory runs out; the list file is closed all the same.
    try {
        CString token;
        CString listPath;
        CString databaseDir;
        CString line;
        int selectedCount = 0;
        int position = 1;

        // The commas keep code 161 from matching 1610.
        token.Format(",%d,", kitCode);
        for (int i = 0; i < catalog.databaseCount; ++i) {
            CatalogDatabase& database = catalog.databases[i];
            if (database.access.IsEmpty() || database.access.Find(token) >= 0) {
                database.selected = 1;
                ++selectedCount;
            }
        }

        overallCaption.SetWindowText("Общий ход");
        overallProgress.SendMessage(PBM_SETRANGE32, 0, selectedCount + 1);
        overallProgress.SendMessage(PBM_SETPOS, 0, 0);

        hr = DownloadPack("Исполняемые файлы", "initial.pack", targetFolder);
        if (FAILED(hr) || IsAbortRequested(&abortRequested))
            return FAILED(hr) ? hr : S_OK;
        overallProgress.SendMessage(PBM_SETPOS, 1, 0);

        listPath.Format("%s\\ZebDbLst.ini", static_cast<const char*>(targetFolder));
        listFile = CreateFileA(listPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               NULL);
        if (listFile == INVALID_HANDLE_VALUE)
            return E_FAIL;

        databaseDir.Format("%s\\Database", static_cast<const char*>(targetFolder));
        for (int i = 0; i < catalog.databaseCount; ++i) {
            const CatalogDatabase& database = catalog.databases[i];
            if (!database.selected)
                continue;
            hr = DownloadPack(database.name, database.path, databaseDir);
            if (FAILED(hr))
                break;
            if (IsAbortRequested(&abortRequested)) {
                hr = S_OK;
                break;
            }
            overallProgress.SendMessage(PBM_SETPOS, ++position, 0);
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

    if (listFile != INVALID_HANDLE_VALUE)
        CloseHandle(listFile);
    return hr;
}
