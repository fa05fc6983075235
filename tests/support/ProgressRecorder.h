// A real progress bar (msctls_progress32) whose range and position messages are recorded.
#pragma once

#include <afxcmn.h>

#include <functional>
#include <vector>

struct ProgressMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const ProgressMessage& other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

class ProgressRecorder {
public:
    ProgressRecorder();
    ~ProgressRecorder();

    CProgressCtrl* Control() { return &control_; }
    std::vector<ProgressMessage> Messages() const { return messages_; }
    // Only the PBM_SETPOS positions, in order.
    std::vector<WPARAM> Positions() const;
    // Called for each recorded message, before the control handles it.
    std::function<void(const ProgressMessage&)> onMessage;

private:
    static LRESULT CALLBACK Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    CProgressCtrl control_;
    WNDPROC original_ = nullptr;
    std::vector<ProgressMessage> messages_;
};
