// The progress on the dialog's taskbar button (Windows 7 and later), following the job.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <memory>

// What the dialog asks of its taskbar button: the two progress calls of ITaskbarList3.
class TaskbarButton {
public:
    virtual ~TaskbarButton() = default;
    virtual void SetProgressState(TBPFLAG state) = 0;
    virtual void SetProgressValue(ULONGLONG completed, ULONGLONG total) = 0;
};

// The button of `window` through the shell's ITaskbarList3; null where there is none (no
// taskbar, Wine without a shell). A pointer, so that the tests can hand out a recorder.
extern std::unique_ptr<TaskbarButton> (*OpenTaskbarButton)(HWND window);

// Sent by the shell once the window's button exists, and again after Explorer restarts.
extern const UINT WM_TASKBARBUTTONCREATED;

// What the button shows: nothing until a job starts; normal while data flows, paused
// while the job waits for the link, error from a failure until its box is answered;
// nothing again once the job has ended or was cancelled. The value follows the overall
// bar, read a few times a second. UI thread only: the button is an apartment-threaded
// COM object made there.
class TaskbarProgress {
public:
    TaskbarProgress() = default;
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // From the dialog's start: the window whose button it is and the bar it follows. Lets
    // the shell's message in also when the program runs elevated and Explorer does not.
    void Attach(HWND dialog, HWND overallBar);
    // WM_TASKBARBUTTONCREATED: the button is asked for only now, and shown what the job
    // has reached so far.
    void ButtonCreated();

    void JobStarted();
    // The job waits for the link, or data flows again.
    void LinkWaiting(bool waiting);
    void JobFailed();
    void JobEnded();

private:
    static void CALLBACK FollowBar(HWND, UINT, UINT_PTR self, DWORD);
    void ShowState(TBPFLAG state);
    void ShowBarValue();

    HWND dialog_ = NULL;
    HWND overallBar_ = NULL;
    std::unique_ptr<TaskbarButton> button_;
    TBPFLAG state_ = TBPF_NOPROGRESS;
    ULONGLONG completed_ = 0;
    ULONGLONG total_ = 0;
};
