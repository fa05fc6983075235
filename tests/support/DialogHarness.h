// A DownloadDialog whose controls are real windows of the test thread, so that jobs
// running on a worker drive them with synchronous messages while this thread pumps.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "DownloadDialog.h"

class DialogHarness {
public:
    DialogHarness();
    ~DialogHarness();
    DialogHarness(const DialogHarness&) = delete;
    DialogHarness& operator=(const DialogHarness&) = delete;

    // Runs `job` on a worker thread and pumps this thread's messages until it returns.
    HRESULT RunOnWorker(const std::function<HRESULT()>& job);

    // A message box that a worker showed: its text and caption, and how many
    // WM_DOWNLOAD_DONE had arrived when it was taken.
    struct ShownBox {
        std::string text;
        std::string caption;
        int downloadDoneBefore;
    };
    // Starts `proc` (param: the dialog unless given) with AfxBeginThread as OK does, and
    // pumps until one more WM_DOWNLOAD_DONE has arrived, answering every box meanwhile;
    // then a little longer, so that anything posted late shows too.
    std::vector<ShownBox> RunWorkerThread(AFX_THREADPROC proc, LPVOID param = nullptr, DWORD timeoutMs = 120000);

    // Pumps until `done` holds or the timeout passes; false on timeout.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000,
                   const std::function<void()>& whilePumping = {});

    int DownloadDoneCount() const { return downloadDone_; }

    DownloadDialog dialog;

private:
    static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND host_ = nullptr;
    int downloadDone_ = 0;
};
