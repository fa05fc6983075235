// Drives a running tool window from outside, as a user would, for the headless demo.
//   drive_sample.exe run <mode 0-5> <folder>   choose, type, OK, wait for "Закрыть"
//   drive_sample.exe close                      press "Закрыть"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kTitle[] = "Скачать для УЛВО-офлайн";
const int kModeButtons[] = {11001, 11002, 11003, 11004, 1009, 1002};

HWND WaitForWindow(DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        HWND dialog = FindWindowA("#32770", kTitle);
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        Sleep(100);
    }
    return nullptr;
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam)
{
    HWND* found = reinterpret_cast<HWND*>(lParam);
    char className[16] = "";
    GetClassNameA(hwnd, className, sizeof(className));
    if (strcmp(className, "#32770") == 0 && GetWindow(hwnd, GW_OWNER) == found[0] && IsWindowVisible(hwnd)) {
        found[1] = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND OpenBox(HWND dialog)
{
    HWND found[2] = {dialog, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(found));
    return found[1];
}

std::string ControlText(HWND control)
{
    char text[512] = "";
    GetWindowTextA(control, text, sizeof(text));
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    // The tool may run on a named Wine desktop (framed windows under Xvfb); look there.
    if (const char* desktopName = getenv("ZEB_DESKTOP")) {
        HDESK desktop = OpenDesktopA(desktopName, 0, FALSE, GENERIC_ALL);
        if (desktop)
            SetThreadDesktop(desktop);
    }
    HWND dialog = WaitForWindow(60000);
    if (!dialog) {
        fprintf(stderr, "drive_sample: the tool's window did not appear\n");
        return 1;
    }
    if (argc == 2 && strcmp(argv[1], "close") == 0) {
        PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return 0;
    }
    if (argc != 4 || strcmp(argv[1], "run") != 0) {
        fprintf(stderr, "usage: drive_sample run <mode> <folder> | close\n");
        return 2;
    }
    int mode = atoi(argv[2]);
    if (mode < 0 || mode > 5)
        return 2;
    PostMessageA(GetDlgItem(dialog, kModeButtons[mode]), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dialog, 1003), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    Sleep(200);
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);

    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    for (int waited = 0; waited < 600000; waited += 200) {
        if (ControlText(cancel) == "Закрыть") {
            HWND box = OpenBox(dialog);
            if (box) {
                fprintf(stderr, "drive_sample: the tool reported an error\n");
                return 1;
            }
            printf("finished\n");
            return 0;
        }
        if (HWND box = OpenBox(dialog)) {
            char text[512] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            // The one question a fresh run may ask is whether to use a folder that is not empty.
            if (GetDlgItem(box, IDYES)) {
                PostMessageA(box, WM_COMMAND, IDYES, 0);
            } else {
                fprintf(stderr, "drive_sample: the tool says: %s\n", text);
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return 1;
            }
        }
        Sleep(200);
    }
    fprintf(stderr, "drive_sample: the download did not finish in time\n");
    return 1;
}
