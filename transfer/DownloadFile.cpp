// DownloadDialog::DownloadFile: one catalogue resource stored unchanged below the target folder.
#include "DownloadDialog.h"
#include "FileDownload.h"
#include "RelativePath.h"

HRESULT DownloadDialog::DownloadFile(const char* caption, const char* path)
{
    CString url;
    CString localPath;
    url.Format("%s/%s", static_cast<const char*>(catalog.baseUrl), path);
    localPath.Format("%s/%s", static_cast<const char*>(targetFolder), path);
    itemCaption.SetWindowText(caption);
    // The path names a place below the target folder; one that could climb out is
    // refused before anything is requested.
    if (!IsContainedRelativePath(path))
        return E_FAIL;
    return DownloadToFile(internetSession, url, localPath, &itemProgress, &abortRequested, &openRequest);
}
