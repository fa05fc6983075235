#include "ProgressRecorder.h"

ProgressRecorder::ProgressRecorder()
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&init);
    HWND hwnd = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    control_.Attach(hwnd);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressRecorder::Record)));
}

ProgressRecorder::~ProgressRecorder()
{
    HWND hwnd = control_.m_hWnd;
    control_.m_hWnd = nullptr;
    if (hwnd) {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        DestroyWindow(hwnd);
    }
}

std::vector<WPARAM> ProgressRecorder::Positions() const
{
    std::vector<WPARAM> positions;
    for (const ProgressMessage& message : messages_) {
        if (message.message == PBM_SETPOS)
            positions.push_back(message.wParam);
    }
    return positions;
}

LRESULT CALLBACK ProgressRecorder::Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<ProgressRecorder*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == PBM_SETRANGE32 || message == PBM_SETPOS) {
        self->messages_.push_back({message, wParam, lParam});
        if (self->onMessage)
            self->onMessage(self->messages_.back());
    }
    return CallWindowProcA(self->original_, hwnd, message, wParam, lParam);
}
