// The one window of the tool and the holder of all state of a download.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxcmn.h>
#include <afxwin.h>

#include "CancelToken.h"
#include "DialogProgress.h"
#include "KitJob.h"
#include "TaskbarProgress.h"
#include "TransferEnv.h"
#include "UpdateCatalog.h"

class BackgroundFetch;

// Posted by the worker to the dialog when a job has ended (wParam 0, lParam 0).
const UINT WM_DOWNLOAD_DONE = WM_USER + 100;
// Posted by the catalogue fetch when it has ended (wParam: the fetch's ticket).
const UINT WM_CATALOG_FETCHED = WM_USER + 101;
// Sent by the worker when its job has failed, before the error box (wParam 0, lParam 0).
const UINT WM_DOWNLOAD_FAILED = WM_USER + 102;

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
    LRESULT OnDownloadFailed(WPARAM, LPARAM);
    LRESULT OnLinkWaiting(WPARAM waiting, LPARAM);
    LRESULT OnTaskbarButtonCreated(WPARAM, LPARAM);
    LRESULT OnCatalogFetched(WPARAM ticket, LPARAM);
    void OnTimer(UINT_PTR id);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBrowseFolder();

    // Catalogue fetch. OK starts it on a thread of its own and goes on in
    // OnCatalogFetched; FetchCatalog does the same fetch and parse on the calling thread.
    HRESULT OpenInternetSession();
    HRESULT StartCatalogFetch();
    HRESULT FetchCatalog();

    // Transfers and jobs, on the worker thread: S_OK also when stopped by abortRequested.
    HRESULT DownloadFile(const char* caption, const char* path);
    // The pack at the catalogue's `path`, unpacked below `targetDir` (see DownloadPack in
    // KitJob.h): one item of a kit.
    HRESULT DownloadPack(const char* caption, const char* path, const char* targetDir, const char* packFolder);
    HRESULT RunKitJob(KitCode kitCode);
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
    // Raised (cancelled) by the UI thread once the user has confirmed an abort; the
    // worker's transfers poll it, and the request it closes ends a read the server stopped
    // answering.
    CancelToken abortRequested;
    // How long a silent link is waited for, and how long and how often to try again.
    RetrySettings retrySettings;
    // The job's progress on the taskbar button.
    TaskbarProgress taskbar;

    DECLARE_MESSAGE_MAP()

private:
    // The windows a job's progress goes to.
    DialogControls Controls() const;
    // What a core gets of the dialog: the session, `progress`, `cancel` and retrySettings.
    TransferEnv Env(ProgressSink& progress, CancelToken& cancel);

    // Back to idle after OK did not start a job: the choice enabled, and the controls
    // showing the choice that was read, the folder as it was typed.
    void ReturnToIdle();

    // The fetch that OK started, until its result has arrived or Cancel abandoned it.
    BackgroundFetch* catalogFetch = nullptr;
    // Tells the result of the current fetch from that of one abandoned before it.
    WPARAM fetchTicket = 0;
    // The folder field's text as OK read it, before it was put in its normal form.
    CString typedFolder;
};
