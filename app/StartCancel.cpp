// DownloadDialog::OnOK, OnCancel and OnDownloadDone: one download from start to close.
#include "DownloadDialog.h"
#include "DirectoryChain.h"
#include "ServerAccess.h"
#include "TargetFolder.h"
#include "WorkerThread.h"
#include "resource.h"

namespace {

// The inputs a running job reads; they stay disabled until the dialog closes.
const int kJobInputs[] = {IDC_KIT_TELMI, IDC_KIT_VARNO, IDC_KIT_BRISS, IDC_KIT_LOMTA, IDC_KIT_KRESPA,
                          IDC_OFFLINE_UPDATE, IDC_TARGET_FOLDER, IDC_BROWSE_FOLDER};

}  // namespace

void DownloadDialog::OnOK()
{
    // Input dispatched during a fetch, and Enter once a job has started (OK hidden),
    // must not start another fetch or change the running job's inputs.
    if (fetchingCatalog || workerThread || !okButton.IsWindowVisible())
        return;

    UpdateData(TRUE);
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

    if (FAILED(FetchCatalog())) {
        MessageBox(kDownloadErrorText, "", MB_OK);
        return;
    }

    okButton.ShowWindow(SW_HIDE);
    for (int id : kJobInputs)
        ::EnableWindow(GetDlgItem(id), FALSE);
    workerThread = AfxBeginThread(WorkerThreadProc, this, THREAD_PRIORITY_NORMAL, 0, 0, NULL);
}

void DownloadDialog::OnCancel()
{
    // Closing while the catalogue loads would leave OnOK running on a dead dialog.
    if (fetchingCatalog)
        return;
    if (!workerThread) {
        CDialog::OnCancel();
        return;
    }
    if (MessageBox("Прервать загрузку?", "", MB_YESNO) == IDYES)
        __atomic_store_n(&abortRequested, 1, __ATOMIC_RELEASE);
}

LRESULT DownloadDialog::OnDownloadDone(WPARAM, LPARAM)
{
    int aborted = __atomic_load_n(&abortRequested, __ATOMIC_ACQUIRE);
    workerThread = nullptr;
    if (aborted)
        CDialog::OnCancel();
    cancelButton.EnableWindow(TRUE);
    SendMessage(DM_SETDEFID, IDCANCEL, 0);
    cancelButton.SendMessage(BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    cancelButton.SetWindowText("Закрыть");
    cancelButton.SetFocus();
    return 1;
}
