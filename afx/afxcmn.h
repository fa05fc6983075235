// MFC's common-control names: the progress bar, a msctls_progress32 window.
#pragma once

#include "afxwin.h"

#include <commctrl.h>

// The transfers drive it with PBM_SETRANGE32 and PBM_SETPOS sent to its window.
class CProgressCtrl : public CWnd {};
