#include "WorkerThread.h"

#include <objbase.h>

#include "DialogTexts.h"
#include "DownloadDialog.h"
#include "JobModes.h"
#include "KeepAwake.h"

namespace {

// The job of the dialog's mode; a job that throws (a string that cannot grow, for
// one) has failed like any other.
HRESULT RunJobOfMode(DownloadDialog& dialog)
{
    // Hours on a slow line must not end in sleep; the error box after a job waits awake
    // for no one.
    KeepAwake awake;
    try {
        const int mode = dialog.mode;
        if (mode >= 0 && mode < kKitModeCount)
            return dialog.RunKitJob(kKitCodes[mode]);
        if (mode == kOfflineUpdateMode)
            return dialog.RunOfflineUpdateJob();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

UINT WorkerThreadProc(LPVOID param)
{
    DownloadDialog* dialog = static_cast<DownloadDialog*>(param);
    // COM's security is the process's, set once at start-up.
    CoInitialize(NULL);

    // A job stopped by Cancel has not failed: its member says so.
    HRESULT hr = RunJobOfMode(*dialog);
    if (FAILED(hr)) {
        SendMessageA(dialog->GetSafeHwnd(), WM_DOWNLOAD_FAILED, 0, 0);
        MessageBoxA(dialog->GetSafeHwnd(), kDownloadErrorText, "", MB_OK);
    }
    PostMessageA(dialog->GetSafeHwnd(), WM_DOWNLOAD_DONE, 0, 0);
    return 1;
}
