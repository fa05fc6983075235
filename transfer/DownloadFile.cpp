// DownloadDialog::DownloadFile: one catalogue resource stored unchanged below the target folder.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "FileDownload.h"

HRESULT DownloadDialog::DownloadFile(const char* caption, const char* path)
{
    DialogProgress progress(Controls());
    progress.ItemStarted(caption);
    return AbortIsNoFailure(DownloadBelow(Env(progress), catalog.baseUrl, targetFolder, path));
}
