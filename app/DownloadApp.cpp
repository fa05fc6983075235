#include "DownloadApp.h"

#include <objbase.h>

#include "DownloadDialog.h"

BEGIN_MESSAGE_MAP(DownloadApp, CWinApp)
    ON_COMMAND(0xE146 /* ID_HELP */, OnHelp)
END_MESSAGE_MAP()

BOOL DownloadApp::InitInstance()
{
    AfxEnableControlContainer(nullptr);
    Enable3dControls();
    CoInitialize(NULL);
    CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_CONNECT, RPC_C_IMP_LEVEL_IMPERSONATE, NULL,
                         EOAC_NONE, NULL);

    DownloadDialog dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // The dialog has done the one download of this run: no message loop of our own.
    return FALSE;
}
