// Drives the tool's dialog as a user would, from another thread or another process:
// controls found by their ids from resource.h, clicks, typing, and the message boxes
// that the dialog owns, read and answered.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

class DownloadDialog;

class WindowDriver {
public:
    explicit WindowDriver(HWND dialog = nullptr) : dialog_(dialog) {}

    // The tool's dialog (by its title) once it is visible, in any process or only in
    // `processId`; null after the timeout.
    static HWND FindToolWindow(DWORD timeoutMs, DWORD processId = 0);

    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }
    std::string Text(int id) const;
    bool IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool IsVisible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
    bool IsChecked(int id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    LRESULT Position(int progressId) const { return SendMessageA(Control(progressId), PBM_GETPOS, 0, 0); }

    void Click(int id);
    void Type(int id, const std::string& text);
    // The Enter and Esc keys in the folder field, as the dialog manager sees them.
    void PressEnter();
    void PressEscape();

    // Waits for a visible message box owned by the dialog; returns its text ("" on timeout).
    std::string WaitForBox(DWORD timeoutMs = 30000);
    // The window WaitForBox found (null after a timeout), for a dialog that is not a message box.
    HWND Box() const { return box_; }
    std::string BoxCaption() const;
    bool BoxOpen() const { return FindBox() != nullptr; }
    // Presses the box's button (IDOK, IDYES, IDNO) and waits until the box is gone.
    void Answer(int buttonId);
    // Without waiting: when a box is open, reads its text (and caption) and presses its
    // first button; "" when none is. For a thread that must go on pumping messages.
    std::string TakeBox(std::string* caption = nullptr);

    // How often the waits look again (20 ms unless set); a benchmark timing an answer
    // looks every millisecond.
    void SetPollInterval(DWORD ms) { pollMs_ = ms; }

    bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 60000) const;
    // True once the dialog window is gone.
    bool WaitClosed(DWORD timeoutMs = 60000) const;

    // Saves the dialog window as a BMP file.
    bool SaveScreenshot(const std::string& path) const;

private:
    HWND FindBox() const;

    HWND dialog_;
    HWND box_ = nullptr;
    HWND taken_ = nullptr;
    DWORD pollMs_ = 20;
};

// The whole text of a window of any process.
std::string WindowText(HWND window);

