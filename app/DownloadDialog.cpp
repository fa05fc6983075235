// DownloadDialog: its state, the control bindings, the message map and the icon.
#include "DownloadDialog.h"

#include "BackgroundFetch.h"
#include "DialogTexts.h"
#include "resource.h"

DownloadDialog::DownloadDialog(CWnd* parent)
    : CDialog(IDD_DOWNLOAD_DIALOG, parent),
      targetFolder(""),
      mode(-1),
      overallCaptionText(""),
      itemCaptionText(""),
      icon(LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), MAKEINTRESOURCEA(14)),
                     MAKEINTRESOURCEA(IDR_MAINFRAME))),
      internetSession(NULL),
      workerThread(nullptr)
{
}

DownloadDialog::~DownloadDialog()
{
    if (catalogFetch)
        catalogFetch->Abandon();
    // A worker or a fetch still running reads the session (the worker the catalogue
    // too): they are left to the end of the process (the dialog closes under a running
    // worker only when the process is being ended anyway).
    if (workerThread || BackgroundFetch::AnyRunning())
        return;
    if (internetSession)
        InternetCloseHandle(internetSession);
    catalog.Clear();
}

BEGIN_MESSAGE_MAP(DownloadDialog, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_BROWSE_FOLDER, OnBrowseFolder)
    ON_MESSAGE(WM_DOWNLOAD_DONE, OnDownloadDone)
    ON_MESSAGE(WM_CATALOG_FETCHED, OnCatalogFetched)
    ON_MESSAGE(WM_DOWNLOAD_FAILED, OnDownloadFailed)
    ON_MESSAGE(WM_LINK_WAITING, OnLinkWaiting)
    ON_REGISTERED_MESSAGE(WM_TASKBARBUTTONCREATED, OnTaskbarButtonCreated)
    ON_WM_TIMER()
END_MESSAGE_MAP()

void DownloadDialog::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_OVERALL_CAPTION, overallCaption);
    DDX_Control(dx, IDC_ITEM_CAPTION, itemCaption);
    DDX_Control(dx, IDC_OVERALL_PROGRESS, overallProgress);
    DDX_Control(dx, IDC_ITEM_PROGRESS, itemProgress);
    DDX_Control(dx, IDOK, okButton);
    DDX_Control(dx, IDCANCEL, cancelButton);
    DDX_Text(dx, IDC_TARGET_FOLDER, targetFolder);
    DDX_Radio(dx, IDC_KIT_TELMI, mode);
    DDX_Text(dx, IDC_OVERALL_CAPTION, overallCaptionText);
    DDX_Text(dx, IDC_ITEM_CAPTION, itemCaptionText);
}

BOOL DownloadDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    taskbar.Attach(m_hWnd, overallProgress.GetSafeHwnd());
    return TRUE;
}

LRESULT DownloadDialog::OnTaskbarButtonCreated(WPARAM, LPARAM)
{
    taskbar.ButtonCreated();
    return 0;
}

LRESULT DownloadDialog::OnDownloadFailed(WPARAM, LPARAM)
{
    taskbar.JobFailed();
    return 0;
}

LRESULT DownloadDialog::OnLinkWaiting(WPARAM waiting, LPARAM)
{
    taskbar.LinkWaiting(waiting != FALSE);
    return 0;
}

void DownloadDialog::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cx = GetSystemMetrics(SM_CXICON);
    int cy = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    // Centred as a minimised window draws its icon, truncating toward zero.
    int x = (rect.right - rect.left - cx + 1) / 2;
    int y = (rect.bottom - rect.top - cy + 1) / 2;
    dc.DrawIcon(x, y, icon);
}

HCURSOR DownloadDialog::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(icon);
}

DialogControls DownloadDialog::Controls() const
{
    return DialogControls{GetSafeHwnd(), itemCaption.GetSafeHwnd(), itemProgress.GetSafeHwnd(),
                          overallCaption.GetSafeHwnd(), overallProgress.GetSafeHwnd()};
}

TransferEnv DownloadDialog::Env(ProgressSink& progress, CancelToken& cancel)
{
    return TransferEnv{internetSession, cancel, progress, retrySettings};
}
