// DownloadDialog::DownloadFile: one catalogue resource stored unchanged below the target folder.
#include "DownloadDialog.h"
#include "FileDownload.h"

HRESULT DownloadDialog::DownloadFile(const char* caption, const char* path)
{
    itemCaption.SetWindowText(caption);
    return DownloadBelow(internetSession, catalog.baseUrl, targetFolder, path, &itemProgress, &abortRequested,
                         &openRequest, RetryOnItemCaption());
}
