// The one window of the tool and the holder of all state of a download.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxcmn.h>
#include <afxwin.h>

#include "JobContext.h"
#include "OpenRequest.h"
#include "UpdateCatalog.h"

// Posted by the worker to the dialog when a job has ended (wParam 0, lParam 0).
const UINT WM_DOWNLOAD_DONE = WM_USER + 100;

class DownloadDialog : public CDialog {
public:
    explicit DownloadDialog(CWnd* parent = nullptr);
    ~DownloadDialog() override;

    // Application and dialog.
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    virtual LRESULT OnDownloadDone(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBrowseFolder();

    // Catalogue fetch, on the UI thread.
    HRESULT OpenInternetSession();
    HRESULT FetchCatalog();

    // Transfers and jobs, on the worker thread.
    HRESULT DownloadFile(const char* caption, const char* path);
    HRESULT DownloadPack(const char* caption, const char* path, const char* targetDir);
    HRESULT RunKitJob(int kitCode);
    HRESULT RunOfflineUpdateJob();

    CStatic overallCaption;
    CStatic itemCaption;
    CProgressCtrl overallProgress;
    CProgressCtrl itemProgress;
    CButton okButton;
    CButton cancelButton;
    CString targetFolder;
    int mode;
    CString overallCaptionText;
    CString itemCaptionText;
    HICON icon;
    HINTERNET internetSession;
    UpdateCatalog catalog;
    CWinThread* workerThread;
    // Written by the UI thread (0 to 1 only), polled by the worker: always through
    // RequestAbort and IsAbortRequested.
    int abortRequested;
    // The request the worker is reading, which a confirmed abort closes.
    OpenRequest openRequest;

    DECLARE_MESSAGE_MAP()

private:
    // The fields a job works with.
    JobContext JobFields();

    // True while FetchCatalog runs: the document load dispatches queued input,
    // which must not start a second fetch or close the dialog underneath it.
    bool fetchingCatalog = false;
};
