// The application: one modal DownloadDialog, then the process ends.
#pragma once

#include <afxwin.h>

class DownloadApp : public CWinApp {
public:
    DownloadApp() : CWinApp(nullptr) {}
    ~DownloadApp() override = default;
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
