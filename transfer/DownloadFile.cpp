// DownloadDialog::DownloadFile: one catalogue resource stored unchanged below the target folder.
#include "CancelToken.h"
#include "DownloadDialog.h"
#include "FileDownload.h"

HRESULT DownloadDialog::DownloadFile(const char* caption, const char* path)
{
    itemCaption.SetWindowText(caption);
    TransferEnv env{internetSession, cancelToken, &itemProgress, RetryOnItemCaption()};
    return AbortIsNoFailure(DownloadBelow(env, catalog.baseUrl, targetFolder, path));
}
