// The worker thread that runs the job of the chosen mode.
#pragma once

#include <windows.h>

// The kit code of each kit mode (0 to 4), as the catalogue's access lists name them;
// mode 5 is the offline update and has none.
const int kKitCodes[] = {161, 160, 164, 163, 65};
const int kOfflineUpdateMode = 5;

// AFX_THREADPROC for AfxBeginThread; `param` is the DownloadDialog. Runs the job of
// its mode, shows the error box on failure, then posts WM_DOWNLOAD_DONE. Returns 1.
UINT WorkerThreadProc(LPVOID param);

extern const char kDownloadErrorText[];
