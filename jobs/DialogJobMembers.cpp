// DownloadDialog::DownloadPack, RunKitJob and RunOfflineUpdateJob: a kit's item and the
// jobs (KitJob.h, OfflineUpdateJob.h) on the dialog's session, catalogue, folder, controls
// and cancel token.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"

HRESULT DownloadDialog::DownloadPack(const char* caption, const char* path, const char* targetDir,
                                     const char* packFolder)
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(::DownloadPack(Env(progress, abortRequested), catalog.baseUrl, caption, path, targetDir,
                                           packFolder));
}

HRESULT DownloadDialog::RunKitJob(KitCode kitCode)
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(RunKit(Env(progress, abortRequested), catalog, targetFolder, kitCode));
}

HRESULT DownloadDialog::RunOfflineUpdateJob()
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(RunOfflineUpdate(Env(progress, abortRequested), catalog, targetFolder));
}
