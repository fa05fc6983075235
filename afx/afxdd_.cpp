#include "afxdd_.h"

#include "afxwin.h"

HWND CDataExchange::Control(int id) const
{
    return ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), id);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!control.GetSafeHwnd())
        control.Attach(dx->Control(id));
}

void DDX_Text(CDataExchange* dx, int id, CString& value)
{
    HWND control = dx->Control(id);
    if (dx->m_bSaveAndValidate) {
        AfxGetWindowText(control, value);
    } else {
        ::SetWindowTextA(control, value);
    }
}

namespace {

bool IsRadioButton(HWND control)
{
    char className[16];
    if (!::GetClassNameA(control, className, sizeof(className)) || lstrcmpiA(className, "Button") != 0)
        return false;
    LONG type = ::GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

}  // namespace

void DDX_Radio(CDataExchange* dx, int firstId, int& value)
{
    if (dx->m_bSaveAndValidate)
        value = -1;
    int position = 0;
    // The group runs from the first button to the next control that starts a group.
    for (HWND control = dx->Control(firstId); control; control = ::GetWindow(control, GW_HWNDNEXT)) {
        if (position > 0 && (::GetWindowLongA(control, GWL_STYLE) & WS_GROUP))
            break;
        if (!IsRadioButton(control))
            continue;
        if (dx->m_bSaveAndValidate) {
            if (::SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
                value = position;
        } else {
            ::SendMessageA(control, BM_SETCHECK, position == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++position;
    }
}
