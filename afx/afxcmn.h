// MFC's common-control names: the progress bar, a msctls_progress32 window.
#pragma once

#include "afxwin.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) { ::SendMessageA(m_hWnd, PBM_SETRANGE32, lower, upper); }
    int SetPos(int position) { return static_cast<int>(::SendMessageA(m_hWnd, PBM_SETPOS, position, 0)); }
    int GetPos() const { return static_cast<int>(::SendMessageA(m_hWnd, PBM_GETPOS, 0, 0)); }
};
