// The real dialog run modally while a script drives it, in a test.
#pragma once

#include <functional>

#include "DownloadDialog.h"
#include "WindowDriver.h"

// Runs dialog.DoModal() on this thread while `script` drives it from a second one;
// whatever the script leaves open is then closed, so DoModal returns. Returns what
// DoModal returned. The script fails the test through gtest's macros.
INT_PTR RunDialog(DownloadDialog& dialog, const std::function<void(WindowDriver&)>& script);
