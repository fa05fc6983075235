// DownloadDialog::DownloadPack, RunKitJob and RunOfflineUpdateJob: the jobs on the dialog's fields.
#include "DownloadDialog.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"

JobContext DownloadDialog::JobFields()
{
    return JobContext{internetSession, &catalog,        targetFolder,     &itemCaption, &itemProgress,
                      &overallCaption, &overallProgress, &abortRequested, &openRequest, RetryOnItemCaption()};
}

HRESULT DownloadDialog::DownloadPack(const char* caption, const char* path, const char* targetDir)
{
    return DownloadKitPack(JobFields(), caption, path, targetDir);
}

HRESULT DownloadDialog::RunKitJob(int kitCode)
{
    return RunKit(JobFields(), kitCode);
}

HRESULT DownloadDialog::RunOfflineUpdateJob()
{
    return RunOfflineUpdate(JobFields());
}
