// DownloadDialog::DownloadPack, RunKitJob and RunOfflineUpdateJob: the jobs on the dialog's fields.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"

JobContext DownloadDialog::JobFields()
{
    return JobContext{TransferEnv{internetSession, cancelToken, &itemProgress, RetryOnItemCaption()},
                      &catalog, targetFolder, &itemCaption, &overallCaption, &overallProgress};
}

HRESULT DownloadDialog::DownloadPack(const char* caption, const char* path, const char* targetDir)
{
    return AbortIsNoFailure(DownloadKitPack(JobFields(), caption, path, targetDir));
}

HRESULT DownloadDialog::RunKitJob(int kitCode)
{
    return AbortIsNoFailure(RunKit(JobFields(), kitCode));
}

HRESULT DownloadDialog::RunOfflineUpdateJob()
{
    return AbortIsNoFailure(RunOfflineUpdate(JobFields()));
}
