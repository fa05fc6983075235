// The worker thread started as OK starts it, in a test.
#pragma once

#include <vector>

#include "DialogHarness.h"

// Starts `proc` (param: the dialog unless given) with AfxBeginThread as OK does, and
// pumps until one more WM_DOWNLOAD_DONE has arrived, answering every box meanwhile; then
// a little longer, so that anything posted late shows too. Checked with gtest's macros.
std::vector<DialogHarness::ShownBox> RunWorkerThread(DialogHarness& harness, AFX_THREADPROC proc,
                                                     LPVOID param = nullptr, DWORD timeoutMs = 120000);
