#include "FrozenChoice.h"

#include "resource.h"

namespace {

// The mode buttons in the order of their group (the mode's number), then the folder's controls.
const int kChoiceControls[] = {IDC_KIT_TELMI, IDC_KIT_VARNO,      IDC_KIT_BRISS,     IDC_KIT_LOMTA,
                               IDC_KIT_KRESPA, IDC_OFFLINE_UPDATE, IDC_TARGET_FOLDER, IDC_BROWSE_FOLDER};
const int kModeButtons = 6;

}  // namespace

FrozenChoice::FrozenChoice(CWnd& dialog) : dialog_(dialog)
{
    Enable(dialog_, FALSE);
}

FrozenChoice::~FrozenChoice()
{
    if (!kept_)
        Enable(dialog_, TRUE);
}

void FrozenChoice::Enable(CWnd& dialog, BOOL enable)
{
    for (int id : kChoiceControls)
        ::EnableWindow(dialog.GetDlgItem(id), enable);
}

void ShowChoice(CWnd& dialog, int mode, const char* folder)
{
    for (int index = 0; index < kModeButtons; ++index)
        ::SendMessageA(dialog.GetDlgItem(kChoiceControls[index]), BM_SETCHECK,
                       index == mode ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SetWindowTextA(dialog.GetDlgItem(IDC_TARGET_FOLDER), folder);
}
