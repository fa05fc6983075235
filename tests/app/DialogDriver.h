// Drives the real dialog as a user would, from a second thread, while the test
// thread runs it modally.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "DownloadDialog.h"

class DialogDriver {
public:
    // Runs dialog.DoModal() here while `script` runs on a driver thread; returns what
    // DoModal returned. The script fails the test through gtest's macros.
    static INT_PTR Run(DownloadDialog& dialog, const std::function<void(DialogDriver&)>& script);

    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }
    std::string Text(int id) const;
    bool IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool IsVisible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }

    void Click(int id);
    void Type(int id, const std::string& text);
    // The Enter key on the control that has the focus, as the dialog manager sees it.
    void PressEnter();
    void PressEscape();

    // Waits for a message box owned by the dialog; returns its text ("" on timeout).
    std::string WaitForBox(DWORD timeoutMs = 30000);
    std::string BoxCaption() const;
    void Answer(int buttonId);
    bool BoxOpen() const;

    bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 60000);
    // True once the dialog window is gone.
    bool WaitClosed(DWORD timeoutMs = 60000);

    // Saves the dialog window as a PNG-ready bitmap file (BMP).
    bool SaveScreenshot(const std::string& path);

private:
    HWND FindBox() const;

    HWND dialog_ = nullptr;
    HWND box_ = nullptr;
};
