// A DownloadDialog whose controls are real windows of this thread, so that jobs running on
// a worker drive them with synchronous messages while this thread pumps. The dialog keeps
// the program's own retry settings; a test sets the quick ones itself.
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

    // Pumps until `done` holds or the timeout passes; false on timeout.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000,
                   const std::function<void()>& whilePumping = {});

    int DownloadDoneCount() const { return downloadDone_; }
    // The window that owns the dialog's controls and the boxes a worker shows.
    HWND Host() const { return host_; }

    DownloadDialog dialog;

private:
    static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND host_ = nullptr;
    int downloadDone_ = 0;
};
