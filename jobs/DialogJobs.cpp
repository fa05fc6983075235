// DownloadDialog::DownloadPack, RunKitJob and RunOfflineUpdateJob: the jobs on the dialog's fields.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"

HRESULT DownloadDialog::DownloadPack(const char* caption, const char* path, const char* targetDir)
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(DownloadKitPack(Env(progress), catalog.baseUrl, caption, path, targetDir));
}

HRESULT DownloadDialog::RunKitJob(int kitCode)
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(RunKit(Env(progress), catalog, targetFolder, kitCode));
}

HRESULT DownloadDialog::RunOfflineUpdateJob()
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(RunOfflineUpdate(Env(progress), catalog, targetFolder));
}
