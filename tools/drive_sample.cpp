// Drives a running tool window from outside, as a user would, for the headless demo.
//   drive_sample.exe run <mode 0-5> <folder>   choose, type, OK, wait for "Закрыть"
//   drive_sample.exe close                      press "Закрыть"
//   drive_sample.exe wait                       return once the window is shown
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "WindowDriver.h"
#include "resource.h"

namespace {

const int kModeButtons[] = {IDC_KIT_TELMI,  IDC_KIT_VARNO,  IDC_KIT_BRISS,
                            IDC_KIT_LOMTA, IDC_KIT_KRESPA, IDC_OFFLINE_UPDATE};

// The titles of the visible top-level windows, for a report of what was there instead.
BOOL CALLBACK ListWindow(HWND hwnd, LPARAM lParam)
{
    std::string title = WindowText(hwnd);
    if (IsWindowVisible(hwnd) && !title.empty())
        *reinterpret_cast<std::string*>(lParam) += " \"" + title + "\"";
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    // The tool runs on a named Wine desktop (framed windows under Xvfb); look there.
    const char* desktopName = getenv("ZEB_DESKTOP");
    if (desktopName) {
        // The desktop appears only once Wine's explorer has started, which may be after us.
        HDESK desktop = nullptr;
        for (int waited = 0; !desktop && waited < 60000; waited += 100) {
            desktop = OpenDesktopA(desktopName, 0, FALSE, GENERIC_ALL);
            if (!desktop)
                Sleep(100);
        }
        if (!desktop || !SetThreadDesktop(desktop)) {
            fprintf(stderr, "drive_sample: the desktop %s cannot be opened (error %lu)\n", desktopName,
                    GetLastError());
            return 1;
        }
    }
    WindowDriver driver(WindowDriver::FindToolWindow(60000));
    if (!driver.Dialog()) {
        std::string seen;
        EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&seen));
        fprintf(stderr, "drive_sample: the tool's window did not appear within 60 s on the desktop %s; "
                        "visible windows there:%s\n",
                desktopName ? desktopName : "(default)", seen.empty() ? " none" : seen.c_str());
        return 1;
    }
    if (argc == 2 && strcmp(argv[1], "wait") == 0)
        return 0;
    if (argc == 2 && strcmp(argv[1], "close") == 0) {
        driver.Click(IDCANCEL);
        return 0;
    }
    if (argc != 4 || strcmp(argv[1], "run") != 0) {
        fprintf(stderr, "usage: drive_sample run <mode> <folder> | close | wait\n");
        return 2;
    }
    int mode = atoi(argv[2]);
    if (mode < 0 || mode > 5)
        return 2;
    driver.Click(kModeButtons[mode]);
    driver.Type(IDC_TARGET_FOLDER, argv[3]);
    driver.Click(IDOK);

    for (int waited = 0; waited < 600000; waited += 200) {
        if (driver.Text(IDCANCEL) == "Закрыть") {
            if (driver.BoxOpen()) {
                fprintf(stderr, "drive_sample: the tool reported an error\n");
                return 1;
            }
            printf("finished\n");
            return 0;
        }
        if (driver.BoxOpen()) {
            std::string text = driver.WaitForBox(0);
            // The one question a fresh run may ask is whether to use a folder that is not empty.
            if (text.find("непустая") != std::string::npos) {
                driver.Answer(IDYES);
            } else {
                fprintf(stderr, "drive_sample: the tool says: %s\n", text.c_str());
                driver.Answer(IDOK);
                return 1;
            }
        }
        Sleep(200);
    }
    fprintf(stderr, "drive_sample: the download did not finish in time\n");
    return 1;
}
