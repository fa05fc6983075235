// What a job works with, handed over by the dialog.
#pragma once

#include <windows.h>

#include <afxcmn.h>

#include "TransferEnv.h"
#include "UpdateCatalog.h"

// The jobs read these and drive the four controls; the kit job also marks the databases
// it selects in the catalogue. Nothing here belongs to the job.
struct JobContext {
    // Its progress is the item bar, and its retry notice the item caption.
    TransferEnv env;
    UpdateCatalog* catalog;
    const char* targetFolder;
    CWnd* itemCaption;
    CWnd* overallCaption;
    CProgressCtrl* overallProgress;
};
