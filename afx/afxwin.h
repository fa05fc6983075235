// MFC's window, dialog, application and thread names over plain Win32: only what
// the product uses.
#pragma once

#include <windows.h>

#include "afxstr.h"

class CDataExchange;

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    BOOL Attach(HWND hwnd);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, TIMERPROC proc = nullptr)
    {
        return ::SetTimer(m_hWnd, id, elapseMs, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK)
    {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

    // Copies between the controls and the fields bound in DoDataExchange:
    // TRUE reads the controls, FALSE writes them.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* dx);

    // Leaves the message being handled to the system's default processing. In a dialog
    // procedure that means answering "not handled" (FALSE), so the dialog manager does it.
    LRESULT Default();

    // The message map: TRUE when the message was handled, its result in *result.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    HWND m_hWnd = nullptr;

protected:
    // The message being handled and whether its handler asked for the default processing.
    struct CurrentMessage {
        MSG message;
        bool useDefault;
    };
    CurrentMessage* currentMessage_ = nullptr;
};

// The whole text of any window, also of one that no CWnd holds.
void AfxGetWindowText(HWND hwnd, CString& text);

class CStatic : public CWnd {};
class CButton : public CWnd {};

// BeginPaint and EndPaint around a scope.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd) : hwnd_(wnd->GetSafeHwnd()) { m_hDC = ::BeginPaint(hwnd_, &m_ps); }
    ~CPaintDC() { ::EndPaint(hwnd_, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

    HDC m_hDC;
    PAINTSTRUCT m_ps;

private:
    HWND hwnd_;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : templateId_(templateId), parent_(parent) {}
    ~CDialog() override;

    // Runs the dialog of the template modally; returns what EndDialog was given, or -1.
    virtual INT_PTR DoModal();
    // Fills the controls from the fields (UpdateData(FALSE)); TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    // IDOK: reads the controls and ends the dialog.
    virtual void OnOK();
    // IDCANCEL: ends the dialog.
    virtual void OnCancel();
    void EndDialog(int result);

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    CWnd* parent_;
};

class CWinThread {
public:
    HANDLE m_hThread = nullptr;
};

typedef UINT (*AFX_THREADPROC)(LPVOID);

// Starts `proc(param)` on a new thread. The returned object deletes itself when
// the thread ends; callers only compare it with null.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0,
                           LPSECURITY_ATTRIBUTES securityAttributes = nullptr);

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void OnHelp() {}

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    const char* m_pszAppName = nullptr;
};

CWinApp* AfxGetApp();
// The framework's entry point: InitInstance, then Run or ExitInstance.
int AfxWinMain(HINSTANCE instance, LPSTR commandLine, int showCommand);
BOOL AfxEnableControlContainer(void* manager = nullptr);
// Kept for the framework's start-up sequence; current systems draw 3D controls themselves.
BOOL Enable3dControls();
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);

// Message maps spelled as MFC spells them; each expands into plain code in OnWndMsg.
#define DECLARE_MESSAGE_MAP() \
public:                       \
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                   \
    BOOL theClass::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)         \
    {                                                                                            \
        typedef baseClass TheBaseClass;                                                          \
        (void)wParam;                                                                            \
        (void)lParam;

// void OnPaint()
#define ON_WM_PAINT()                     \
    if (message == WM_PAINT) {            \
        OnPaint();                        \
        *result = 0;                      \
        return TRUE;                      \
    }

// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                             \
    if (message == WM_QUERYDRAGICON) {                                    \
        *result = reinterpret_cast<LRESULT>(OnQueryDragIcon());           \
        return TRUE;                                                      \
    }

// void OnTimer(UINT_PTR id)
#define ON_WM_TIMER()                     \
    if (message == WM_TIMER) {            \
        OnTimer(wParam);                  \
        *result = 0;                      \
        return TRUE;                      \
    }

// void handler()
#define ON_BN_CLICKED(id, handler)                                                          \
    if (message == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == BN_CLICKED) { \
        handler();                                                                          \
        *result = 0;                                                                        \
        return TRUE;                                                                        \
    }

// void handler()
#define ON_COMMAND(id, handler)                                       \
    if (message == WM_COMMAND && LOWORD(wParam) == (id)) {            \
        handler();                                                    \
        *result = 0;                                                  \
        return TRUE;                                                  \
    }

// LRESULT handler(WPARAM, LPARAM)
#define ON_MESSAGE(msg, handler)              \
    if (message == (msg)) {                   \
        *result = handler(wParam, lParam);    \
        return TRUE;                          \
    }

// LRESULT handler(WPARAM, LPARAM), for a message that RegisterWindowMessage named
#define ON_REGISTERED_MESSAGE(messageVariable, handler) ON_MESSAGE(messageVariable, handler)

#define END_MESSAGE_MAP()                                              \
    return TheBaseClass::OnWndMsg(message, wParam, lParam, result);   \
    }

#include "afxdd_.h"
