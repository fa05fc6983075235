#include "afxwin.h"

BOOL CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd)
        return FALSE;
    m_hWnd = hwnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    m_hWnd = nullptr;
    return hwnd;
}

void CWnd::GetWindowText(CString& text) const
{
    int length = ::GetWindowTextLengthA(m_hWnd);
    char* buffer = text.GetBuffer(length + 1);
    int copied = ::GetWindowTextA(m_hWnd, buffer, length + 1);
    text.ReleaseBuffer(copied > 0 ? copied : 0);
}
