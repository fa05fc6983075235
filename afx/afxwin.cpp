#include "afxwin.h"

#include <commctrl.h>
#include <process.h>

#include "afxdd_.h"

BOOL CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd)
        return FALSE;
    m_hWnd = hwnd;
    return TRUE;
}

void AfxGetWindowText(HWND hwnd, CString& text)
{
    int length = ::GetWindowTextLengthA(hwnd);
    char* buffer = text.GetBuffer(length + 1);
    int copied = ::GetWindowTextA(hwnd, buffer, length + 1);
    text.ReleaseBuffer(copied > 0 ? copied : 0);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::Default()
{
    if (currentMessage_)
        currentMessage_->useDefault = true;
    return 0;
}

BOOL CWnd::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

CDialog::~CDialog()
{
    // No late message may reach an object that is going away.
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
}

INT_PTR CDialog::DoModal()
{
    // Templates may hold common controls (progress bars), whose classes exist only
    // once comctl32 has registered them.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    HWND owner = parent_ ? parent_->GetSafeHwnd() : nullptr;
    INT_PTR result = ::DialogBoxParamA(AfxFindResourceHandle(MAKEINTRESOURCEA(templateId_), RT_DIALOG),
                                       MAKEINTRESOURCEA(templateId_), owner, &CDialog::DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result)
{
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    // The button and the dialog manager's Enter and Esc keys all send BN_CLICKED (0).
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            *result = 0;
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            *result = 0;
            return TRUE;
        }
    }
    // A command that the dialog does not handle goes on to the application, as in MFC.
    if (message == WM_COMMAND && AfxGetApp())
        return AfxGetApp()->OnWndMsg(message, wParam, lParam, result);
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

namespace {

// Messages whose result a dialog procedure returns itself instead of in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    return message == WM_QUERYDRAGICON || message == WM_INITDIALOG || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
           (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

}  // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
    } else {
        dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!dialog)
        return FALSE;

    // Messages nest (a handler's message box pumps the next ones): each handler sees its
    // own message, and the outer one is back however the inner handler ends.
    struct Nesting {
        CDialog* dialog;
        CurrentMessage* outer;
        ~Nesting() { dialog->currentMessage_ = outer; }
    };
    CurrentMessage current = {{hwnd, message, wParam, lParam, 0, {0, 0}}, false};
    Nesting nesting = {dialog, dialog->currentMessage_};
    dialog->currentMessage_ = &current;
    // No C++ exception may cross back into the system's window procedure.
    try {
        LRESULT result = 0;
        BOOL handled;
        if (message == WM_INITDIALOG) {
            result = dialog->OnInitDialog();
            handled = TRUE;
        } else {
            handled = dialog->OnWndMsg(message, wParam, lParam, &result);
        }
        if (!handled || current.useDefault)
            return FALSE;
        if (ReturnsResultDirectly(message))
            return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

namespace {

struct ThreadStart {
    AFX_THREADPROC proc;
    LPVOID param;
    CWinThread* thread;
};

unsigned __stdcall ThreadTrampoline(void* raw)
{
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    UINT exitCode = 0;
    try {
        exitCode = start.proc(start.param);
    } catch (...) {
        exitCode = static_cast<UINT>(-1);
    }
    ::CloseHandle(start.thread->m_hThread);
    delete start.thread;
    return exitCode;
}

}  // namespace

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize, DWORD createFlags,
                           LPSECURITY_ATTRIBUTES securityAttributes)
{
    CWinThread* thread = new CWinThread;
    ThreadStart* start = new ThreadStart{proc, param, thread};
    unsigned id = 0;
    // Suspended until the object is complete, so the thread never sees it half filled.
    HANDLE handle = reinterpret_cast<HANDLE>(
        _beginthreadex(securityAttributes, stackSize, &ThreadTrampoline, start, CREATE_SUSPENDED, &id));
    if (!handle) {
        delete start;
        delete thread;
        return nullptr;
    }
    thread->m_hThread = handle;
    ::SetThreadPriority(handle, priority);
    if (!(createFlags & CREATE_SUSPENDED))
        ::ResumeThread(handle);
    return thread;
}

namespace {
CWinApp* theApp = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName)
{
    theApp = this;
}

CWinApp::~CWinApp()
{
    if (theApp == this)
        theApp = nullptr;
}

BOOL CWinApp::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

CWinApp* AfxGetApp()
{
    return theApp;
}

int AfxWinMain(HINSTANCE instance, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance;
    // A dialog application does its work in InitInstance; it has no message loop of its own.
    app->InitInstance();
    return app->ExitInstance();
}

BOOL AfxEnableControlContainer(void*)
{
    return TRUE;
}

BOOL Enable3dControls()
{
    return TRUE;
}

HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR)
{
    // Everything lives in the one executable.
    return ::GetModuleHandleA(nullptr);
}
