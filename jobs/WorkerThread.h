// The worker thread that runs the job of the chosen mode.
#pragma once

#include <windows.h>

// AFX_THREADPROC for AfxBeginThread; `param` is the DownloadDialog. Runs the job of
// its mode with the computer kept awake (KeepAwake), shows the error box on failure
// (also when the job threw or ran out of memory; a job stopped by the dialog's cancel
// token has not failed), sending WM_DOWNLOAD_FAILED to the dialog just before it, then
// posts WM_DOWNLOAD_DONE on every path. Returns 1.
UINT WorkerThreadProc(LPVOID param);
