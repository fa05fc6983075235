// The choice controls held disabled while OK works with what it has read from them.
#pragma once

#include <afxwin.h>

// Disables the six mode buttons, the folder field and "..." for the life of the
// object, so that input dispatched while the catalogue loads cannot change the choice
// that OK has read. However OnOK ends, even by an exception, they are enabled again,
// unless Keep() was called because the fetch started: the dialog then enables them
// when it returns to idle.
class FrozenChoice {
public:
    explicit FrozenChoice(CWnd& dialog);
    ~FrozenChoice();
    FrozenChoice(const FrozenChoice&) = delete;
    FrozenChoice& operator=(const FrozenChoice&) = delete;

    void Keep() { kept_ = true; }

    static void Enable(CWnd& dialog, BOOL enable);

private:
    CWnd& dialog_;
    bool kept_ = false;
};

// Shows `mode` (0 to 5, or -1 for none) in the mode buttons and `folder` in the folder
// field: whatever input reached the disabled controls, they show the choice that was read.
void ShowChoice(CWnd& dialog, int mode, const char* folder);
