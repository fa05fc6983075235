// DownloadDialog::DownloadFile: one catalogue resource stored below the target folder
// (FileDownload.h) on the dialog's session, catalogue, folder, controls and cancel token.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "FileDownload.h"

HRESULT DownloadDialog::DownloadFile(const char* caption, const char* path)
{
    DialogProgress progress(Controls());
    progress.ItemStarted(caption);
    return AbortIsNoFailure(DownloadBelow(Env(progress, abortRequested), catalog.baseUrl, targetFolder, path));
}
