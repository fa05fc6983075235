#include "WorkerThread.h"

#include <objbase.h>

#include "DownloadDialog.h"

const char kDownloadErrorText[] = "При получении обновления произошла ошибка";

UINT WorkerThreadProc(LPVOID param)
{
    DownloadDialog* dialog = static_cast<DownloadDialog*>(param);
    CoInitialize(NULL);
    CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_CONNECT, RPC_C_IMP_LEVEL_IMPERSONATE, NULL,
                         EOAC_NONE, NULL);

    const int mode = dialog->mode;
    HRESULT hr = S_OK;
    if (mode >= 0 && mode < static_cast<int>(sizeof(kKitCodes) / sizeof(kKitCodes[0])))
        hr = dialog->RunKitJob(kKitCodes[mode]);
    else if (mode == kOfflineUpdateMode)
        hr = dialog->RunOfflineUpdateJob();

    if (FAILED(hr))
        MessageBoxA(dialog->GetSafeHwnd(), kDownloadErrorText, "", MB_OK);
    PostMessageA(dialog->GetSafeHwnd(), WM_DOWNLOAD_DONE, 0, 0);
    return 1;
}
