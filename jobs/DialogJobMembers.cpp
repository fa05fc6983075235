// DownloadDialog::RunKitJob and RunOfflineUpdateJob: the jobs (KitJob.h, OfflineUpdateJob.h)
// on the dialog's session, catalogue, folder, controls and cancel token.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"

HRESULT DownloadDialog::RunKitJob(int kitCode)
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(RunKit(Env(progress, cancelToken), catalog, targetFolder, kitCode));
}

HRESULT DownloadDialog::RunOfflineUpdateJob()
{
    DialogProgress progress(Controls());
    return AbortIsNoFailure(RunOfflineUpdate(Env(progress, cancelToken), catalog, targetFolder));
}
