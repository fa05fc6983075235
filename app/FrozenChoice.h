// The choice controls held disabled while OnOK works with what it has read from them.
#pragma once

#include <afxwin.h>

// Disables the six mode buttons, the folder field and "..." for the life of the
// object, so that input dispatched while the catalogue loads cannot change the choice
// that OnOK has read. However OnOK ends, even by an exception, they are enabled
// again, unless Keep() was called because the job started.
class FrozenChoice {
public:
    explicit FrozenChoice(CWnd& dialog);
    ~FrozenChoice();
    FrozenChoice(const FrozenChoice&) = delete;
    FrozenChoice& operator=(const FrozenChoice&) = delete;

    void Keep() { kept_ = true; }

private:
    void Enable(BOOL enable);

    CWnd& dialog_;
    bool kept_ = false;
};
