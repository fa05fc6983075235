#include "FrozenChoice.h"

#include "resource.h"

namespace {

const int kChoiceControls[] = {IDC_KIT_TELMI, IDC_KIT_VARNO,      IDC_KIT_BRISS,     IDC_KIT_LOMTA,
                               IDC_KIT_KRESPA, IDC_OFFLINE_UPDATE, IDC_TARGET_FOLDER, IDC_BROWSE_FOLDER};

}  // namespace

FrozenChoice::FrozenChoice(CWnd& dialog) : dialog_(dialog)
{
    Enable(FALSE);
}

FrozenChoice::~FrozenChoice()
{
    if (!kept_)
        Enable(TRUE);
}

void FrozenChoice::Enable(BOOL enable)
{
    for (int id : kChoiceControls)
        ::EnableWindow(dialog_.GetDlgItem(id), enable);
}
