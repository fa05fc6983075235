#include "TaskbarProgress.h"

#include <commctrl.h>

#include <new>

namespace {

const UINT kFollowBarMs = 250;

class ShellTaskbarButton : public TaskbarButton {
public:
    ShellTaskbarButton(HWND window, ITaskbarList3* list) : window_(window), list_(list) {}
    ~ShellTaskbarButton() override { list_->Release(); }
    void SetProgressState(TBPFLAG state) override { list_->SetProgressState(window_, state); }
    void SetProgressValue(ULONGLONG completed, ULONGLONG total) override
    {
        list_->SetProgressValue(window_, completed, total);
    }

private:
    HWND window_;
    ITaskbarList3* list_;
};

std::unique_ptr<TaskbarButton> OpenShellTaskbarButton(HWND window)
{
    ITaskbarList3* list = NULL;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, NULL, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list))))
        return nullptr;
    TaskbarButton* button = NULL;
    if (SUCCEEDED(list->HrInit()))
        button = new (std::nothrow) ShellTaskbarButton(window, list);
    if (!button)
        list->Release();
    return std::unique_ptr<TaskbarButton>(button);
}

}  // namespace

std::unique_ptr<TaskbarButton> (*OpenTaskbarButton)(HWND window) = OpenShellTaskbarButton;

const UINT WM_TASKBARBUTTONCREATED = RegisterWindowMessageA("TaskbarButtonCreated");

TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::Attach(HWND dialog, HWND overallBar)
{
    dialog_ = dialog;
    overallBar_ = overallBar;
    ChangeWindowMessageFilter(WM_TASKBARBUTTONCREATED, MSGFLT_ADD);
}

void TaskbarProgress::ButtonCreated()
{
    button_ = OpenTaskbarButton(dialog_);
    if (!button_ || state_ == TBPF_NOPROGRESS)
        return;
    button_->SetProgressValue(completed_, total_);
    button_->SetProgressState(state_);
}

void TaskbarProgress::JobStarted()
{
    state_ = TBPF_NORMAL;
    completed_ = total_ = 0;
    ShowBarValue();
    if (button_)
        button_->SetProgressState(state_);
    // The timer's id is this object, and its own procedure takes the tick, so the dialog's
    // OnTimer never sees it and no id of the dialog's can be the same.
    SetTimer(dialog_, reinterpret_cast<UINT_PTR>(this), kFollowBarMs, &FollowBar);
}

void TaskbarProgress::JobFailed()
{
    ShowState(TBPF_ERROR);
}

void TaskbarProgress::JobEnded()
{
    KillTimer(dialog_, reinterpret_cast<UINT_PTR>(this));
    ShowState(TBPF_NOPROGRESS);
}

void CALLBACK TaskbarProgress::FollowBar(HWND, UINT, UINT_PTR self, DWORD)
{
    reinterpret_cast<TaskbarProgress*>(self)->ShowBarValue();
}

void TaskbarProgress::LinkWaiting(bool waiting)
{
    // Before the job (the catalogue's own waits) and after its failure the state stays.
    if (state_ == TBPF_NORMAL || state_ == TBPF_PAUSED)
        ShowState(waiting ? TBPF_PAUSED : TBPF_NORMAL);
}

void TaskbarProgress::ShowState(TBPFLAG state)
{
    if (state == state_)
        return;
    state_ = state;
    if (button_)
        button_->SetProgressState(state);
}

void TaskbarProgress::ShowBarValue()
{
    ULONGLONG completed = static_cast<ULONGLONG>(SendMessageA(overallBar_, PBM_GETPOS, 0, 0));
    ULONGLONG total = static_cast<ULONGLONG>(SendMessageA(overallBar_, PBM_GETRANGE, FALSE, 0));
    if (completed == completed_ && total == total_)
        return;
    completed_ = completed;
    total_ = total;
    if (button_ && state_ != TBPF_NOPROGRESS)
        button_->SetProgressValue(completed, total);
}
