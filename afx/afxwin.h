// MFC's window names over plain Win32 windows: only what the product uses.
#pragma once

#include <windows.h>

#include "afxstr.h"

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    BOOL Attach(HWND hwnd);
    HWND Detach();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK)
    {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

    HWND m_hWnd = nullptr;
};

class CStatic : public CWnd {};
class CButton : public CWnd {};
