// DownloadDialog::OnOK, OnCatalogFetched, OnCancel and OnDownloadDone: one download from start to close.
#include "BackgroundFetch.h"
#include "DialogTexts.h"
#include "DirectoryChain.h"
#include "EarlierFiles.h"
#include "DownloadDialog.h"
#include "FrozenChoice.h"
#include "TargetFolder.h"
#include "WorkerThread.h"

namespace {

// After a confirmed abort the worker normally ends within a network piece. One that is
// still running after this long is blocked in a read that will not return (a stalled
// server under a WinINet without a receive timeout): the program then ends without it.
const UINT_PTR kAbortGraceTimer = 1;
const UINT kAbortGraceMs = 1000;

}  // namespace

void DownloadDialog::OnOK()
{
    // Input that reaches the dialog during a fetch, and Enter once a job has started (OK
    // hidden), must not start another fetch or change the running job's inputs.
    if (catalogFetch || workerThread || !okButton.IsWindowVisible())
        return;

    UpdateData(TRUE);
    FrozenChoice frozen(*this);
    typedFolder = targetFolder;
    if (mode == -1) {
        MessageBox("Выберите режим", "", MB_OK);
        return;
    }
    if (targetFolder.IsEmpty()) {
        MessageBox("Выберите папку для скачивания", "", MB_OK);
        return;
    }
    NormalizeFolderText(targetFolder);

    CString text;
    if (!CreateDirectoryChain(targetFolder)) {
        text.Format("Невозможно создать папку %s", static_cast<const char*>(targetFolder));
        MessageBox(text, "", MB_OK);
        return;
    }
    if (!IsFolderEmpty(targetFolder)) {
        text.Format("Папка %s непустая, существующие файлы могут быть перезаписаны.\rСкачать файлы в эту папку?",
                    static_cast<const char*>(targetFolder));
        if (MessageBox(text, "", MB_YESNO) == IDNO)
            return;
    }

    // The dialog keeps answering while the catalogue arrives: OnCatalogFetched goes on.
    if (FAILED(StartCatalogFetch())) {
        MessageBox(kDownloadErrorText, "", MB_OK);
        return;
    }
    frozen.Keep();
}

LRESULT DownloadDialog::OnCatalogFetched(WPARAM ticket, LPARAM)
{
    // The result of a fetch that Cancel abandoned has no one waiting for it.
    if (!catalogFetch || ticket != fetchTicket)
        return 0;
    BackgroundFetch* fetch = catalogFetch;
    catalogFetch = nullptr;
    HRESULT fetched = fetch->Finish(&catalog);
    ShowChoice(*this, mode, typedFolder);
    if (SUCCEEDED(fetched)) {
        okButton.ShowWindow(SW_HIDE);
        workerThread = AfxBeginThread(WorkerThreadProc, this, THREAD_PRIORITY_NORMAL, 0, 0, NULL);
        if (workerThread) {
            taskbar.JobStarted();
            return 0;
        }
        okButton.ShowWindow(SW_SHOW);
    }
    MessageBox(kDownloadErrorText, "", MB_OK);
    ReturnToIdle();
    return 0;
}

void DownloadDialog::ReturnToIdle()
{
    ShowChoice(*this, mode, typedFolder);
    FrozenChoice::Enable(*this, TRUE);
}

void DownloadDialog::OnCancel()
{
    // Nothing has been downloaded yet: the fetch stops without a question.
    if (catalogFetch) {
        catalogFetch->Abandon();
        catalogFetch = nullptr;
        // A retry notice may stand there, and the fetch no longer puts it back.
        itemCaption.SetWindowText("");
        ReturnToIdle();
        return;
    }
    if (!workerThread) {
        CDialog::OnCancel();
        return;
    }
    if (MessageBox("Прервать загрузку?", "", MB_YESNO) != IDYES)
        return;
    bool firstRequest = !abortRequested.IsCancelled();
    abortRequested.Cancel();
    // The job may have ended while the question was open.
    if (firstRequest && workerThread)
        SetTimer(kAbortGraceTimer, kAbortGraceMs);
}

LRESULT DownloadDialog::OnDownloadDone(WPARAM, LPARAM)
{
    bool aborted = abortRequested.IsCancelled();
    workerThread = nullptr;
    KillTimer(kAbortGraceTimer);
    taskbar.JobEnded();
    if (aborted)
        CDialog::OnCancel();
    cancelButton.EnableWindow(TRUE);
    SendMessage(DM_SETDEFID, IDCANCEL, 0);
    cancelButton.SendMessage(BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    cancelButton.SetWindowText("Закрыть");
    cancelButton.SetFocus();
    return 1;
}

void DownloadDialog::OnTimer(UINT_PTR id)
{
    if (id != kAbortGraceTimer)
        return;
    KillTimer(kAbortGraceTimer);
    if (!workerThread)
        return;
    // The worker is blocked in a read that never returns. Nothing may be freed under
    // it, and the dialog may be inside a nested modal loop (a second abort question):
    // end the process here, without running destructors or DLL detach code that could
    // wait for a lock the worker holds. Finished files are complete on disk; the file
    // being written keeps what arrived, as with any abort.
    TerminateProcess(GetCurrentProcess(), 0);
}
