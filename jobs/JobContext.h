// What a job works with, handed over by the dialog.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxcmn.h>

#include "HttpSource.h"
#include "OpenRequest.h"
#include "UpdateCatalog.h"

// The jobs read these and drive the four controls; the kit job also marks the databases
// it selects in the catalogue. Nothing here belongs to the job.
struct JobContext {
    HINTERNET session;
    UpdateCatalog* catalog;
    const char* targetFolder;
    CWnd* itemCaption;
    CProgressCtrl* itemProgress;
    CWnd* overallCaption;
    CProgressCtrl* overallProgress;
    const int* abortFlag;
    OpenRequest* openRequest;
    // Its notice is the item caption.
    RetrySettings retry;
};
