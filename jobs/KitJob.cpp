#include "KitJob.h"

#include <cstdio>
#include <cstring>

#include "HeldFiles.h"
#include "JobItem.h"
#include "PackExtract.h"
#include "PackStream.h"
#include "RelativePath.h"

namespace {

// DownloadPack, for a database whose name can be listed; one that cannot fails before
// anything is requested for it.
HRESULT DownloadKitPack(const TransferEnv& env, const char* baseUrl, const char* caption, const char* path,
                        const char* targetDir, const char* packFolder, bool listable)
{
    if (listable)
        return DownloadPack(env, baseUrl, caption, path, targetDir, packFolder);
    return RunItem(env, caption, [] { return E_FAIL; });
}

// A database name that its line of ZebDbLst.ini can hold as it stands: one that keeps
// the line's brackets and the line itself whole, and names a folder below Database.
bool CanBeListed(const char* name)
{
    return IsContainedRelativePath(name) && !strpbrk(name, "]\r\n");
}

// ZebDbLst.ini as the job writes it: one line per database as it completes. Where there
// was no list, it grows under its own name, so that a run ended at once (a read stalled,
// Cancel) still names the databases complete by then; an earlier list is replaced only
// when the job succeeds (the new one grows beside it), so that a failed rerun never shows
// the offline systems fewer databases than the folder holds.
class DatabaseList {
public:
    explicit DatabaseList(const char* targetFolder)
    {
        path_.Format("%s\\ZebDbLst.ini", targetFolder);
        replacing_ = GetFileAttributesA(path_) != INVALID_FILE_ATTRIBUTES;
        written_ = replacing_ ? PartPath(path_) : path_;
        file_ = OpenHeldFile(written_, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    }
    // A job that ended by an exception ends its list as one that failed.
    ~DatabaseList()
    {
        if (file_ != INVALID_HANDLE_VALUE)
            End(E_FAIL);
    }
    DatabaseList(const DatabaseList&) = delete;
    DatabaseList& operator=(const DatabaseList&) = delete;

    bool Opened() const { return file_ != INVALID_HANDLE_VALUE; }

    HRESULT Add(const char* name)
    {
        CString line;
        line.Format("#include = [St,Database\\%s\\%s.ini]\r\n", name, name);
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(line.GetLength());
        if (!WriteFile(file_, static_cast<const char*>(line), size, &written, NULL) || written != size)
            return E_FAIL;
        complete_ += size;
        return S_OK;
    }

    // Ends the list as the job ended (`hr`), cut back to its last complete line; the job's
    // result, or the list's failure.
    HRESULT End(HRESULT hr)
    {
        LARGE_INTEGER complete;
        complete.QuadPart = complete_;
        const bool cut = SetFilePointerEx(file_, complete, NULL, FILE_BEGIN) && SetEndOfFile(file_);
        const bool closed = CloseHandle(file_) != FALSE;
        file_ = INVALID_HANDLE_VALUE;
        if (SUCCEEDED(hr) && (!cut || !closed))
            hr = E_FAIL;
        return replacing_ ? PutInPlace(hr, written_, path_) : hr;
    }

private:
    CString path_;
    CString written_;
    bool replacing_ = false;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    LONGLONG complete_ = 0;
};

}  // namespace

bool BelongsToKit(const char* access, KitCode kit)
{
    // The commas keep code 161 from matching 1610.
    char token[16];
    snprintf(token, sizeof(token), ",%d,", kit);
    return !*access || strstr(access, token) != nullptr;
}

HRESULT DownloadPack(const TransferEnv& env, const char* baseUrl, const char* caption, const char* path,
                     const char* targetDir, const char* packFolder)
{
    CString url;
    url.Format("%s/%s", baseUrl, path);
    return RunItem(env, caption, [&] {
        PackStream pack(env, url);
        return pack.Extract(targetDir, packFolder, env.progress, env.cancel);
    });
}

HRESULT RunKit(const TransferEnv& env, UpdateCatalog& catalog, const char* targetFolder, KitCode kitCode)
{
    HRESULT hr = S_OK;

    // The strings below throw when memory runs out; the list file is closed all the same.
    try {
        CString databaseDir;
        CString packFolder;
        int selectedCount = 0;

        for (int i = 0; i < catalog.databaseCount; ++i) {
            CatalogDatabase& database = catalog.databases[i];
            if (BelongsToKit(database.access, kitCode)) {
                database.selected = 1;
                ++selectedCount;
            }
        }

        env.progress.JobStarted(selectedCount + 1);
        hr = DownloadKitPack(env, catalog.baseUrl, "Исполняемые файлы", "initial.pack", targetFolder, nullptr, true);
        if (FAILED(hr))
            return hr;

        DatabaseList list(targetFolder);
        if (!list.Opened())
            return E_FAIL;
        databaseDir.Format("%s\\Database", targetFolder);
        for (int i = 0; i < catalog.databaseCount && SUCCEEDED(hr); ++i) {
            const CatalogDatabase& database = catalog.databases[i];
            if (!database.selected)
                continue;
            // A database unpacks into the folder of its name, which the list names too.
            packFolder.Format("%s\\%s", static_cast<const char*>(databaseDir), static_cast<const char*>(database.name));
            hr = DownloadKitPack(env, catalog.baseUrl, database.name, database.path, databaseDir, packFolder,
                                 CanBeListed(database.name));
            if (SUCCEEDED(hr))
                hr = list.Add(database.name);
        }
        return list.End(hr);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
