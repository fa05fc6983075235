#include "DialogHarness.h"

#include <commctrl.h>

#include <atomic>
#include <thread>

#include "resource.h"

namespace {

const char kHostClass[] = "ZebTestDialogHost";
const char kOriginalProc[] = "ZebTestOriginalProc";
const char kHarness[] = "ZebTestHarness";

void RegisterHostClass()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kHostClass;
    RegisterClassA(&windowClass);
    registered = true;
}

HWND MakeChild(HWND host, const char* className, int id)
{
    return CreateWindowExA(0, className, "", WS_CHILD, 0, id * 20, 200, 16, host,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

void Subclass(HWND hwnd, DialogHarness* harness, WNDPROC proc)
{
    SetPropA(hwnd, kHarness, harness);
    SetPropA(hwnd, kOriginalProc,
             reinterpret_cast<HANDLE>(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc))));
}

}  // namespace

DialogHarness::DialogHarness()
{
    RegisterHostClass();
    host_ = CreateWindowExA(0, kHostClass, "host", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    Subclass(host_, this, &DialogHarness::HostProc);
    dialog.m_hWnd = host_;
    dialog.overallCaption.Attach(MakeChild(host_, "Static", IDC_OVERALL_CAPTION));
    dialog.itemCaption.Attach(MakeChild(host_, "Static", IDC_ITEM_CAPTION));
    dialog.overallProgress.Attach(MakeChild(host_, PROGRESS_CLASSA, IDC_OVERALL_PROGRESS));
    dialog.itemProgress.Attach(MakeChild(host_, PROGRESS_CLASSA, IDC_ITEM_PROGRESS));
    dialog.okButton.Attach(MakeChild(host_, "Button", IDOK));
    dialog.cancelButton.Attach(MakeChild(host_, "Button", IDCANCEL));
}

DialogHarness::~DialogHarness()
{
    for (CWnd* control : std::initializer_list<CWnd*>{&dialog.overallCaption, &dialog.itemCaption,
                                                      &dialog.overallProgress, &dialog.itemProgress,
                                                      &dialog.okButton, &dialog.cancelButton})
        control->m_hWnd = nullptr;
    dialog.m_hWnd = nullptr;
    DestroyWindow(host_);
}

LRESULT CALLBACK DialogHarness::HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<DialogHarness*>(GetPropA(hwnd, kHarness));
    if (message == WM_DOWNLOAD_DONE && self)
        ++self->downloadDone_;
    auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kOriginalProc));
    return CallWindowProcA(original, hwnd, message, wParam, lParam);
}

bool DialogHarness::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
                              const std::function<void()>& whilePumping)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (whilePumping)
            whilePumping();
    }
    return true;
}

HRESULT DialogHarness::RunOnWorker(const std::function<HRESULT()>& job)
{
    std::atomic<bool> finished{false};
    HRESULT result = E_UNEXPECTED;
    std::thread worker([&] {
        result = job();
        finished = true;
    });
    PumpUntil([&] { return finished.load(); }, INFINITE);
    worker.join();
    return result;
}
