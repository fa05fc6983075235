// Dialog data exchange: binding controls to fields with MFC's DDX_ names. afxwin.h
// includes it at its end, as MFC's does.
#pragma once

#include <windows.h>

class CString;
class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    HWND Control(int id) const;

    BOOL m_bSaveAndValidate;  // TRUE: controls to fields
    CWnd* m_pDlgWnd;
};

// Attaches `control` to the dialog's child `id` the first time.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);
// `value` is the position of the checked button in the group that starts at
// `firstId` (not its id), -1 when none is checked.
void DDX_Radio(CDataExchange* dx, int firstId, int& value);
