#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <thread>

#include "DownloadDialog.h"

INT_PTR RunDialog(DownloadDialog& dialog, const std::function<void(WindowDriver&)>& script)
{
    std::thread driverThread([&] {
        WindowDriver waiter;
        waiter.WaitUntil([&] { return dialog.GetSafeHwnd() != nullptr && IsWindowVisible(dialog.GetSafeHwnd()); },
                         30000);
        WindowDriver driver(dialog.GetSafeHwnd());
        if (driver.Dialog())
            script(driver);
        else
            ADD_FAILURE() << "the dialog did not appear";
        // Whatever the script left open is closed, so DoModal returns.
        for (int i = 0; i < 100 && IsWindow(driver.Dialog()); ++i) {
            if (driver.BoxOpen()) {
                driver.Answer(IDYES);
                driver.Answer(IDOK);
            }
            PostMessageA(driver.Dialog(), WM_COMMAND, IDCANCEL, 0);
            Sleep(100);
        }
        // A dialog that no longer closes has failed its test already; end it anyway, so
        // that the program goes on to the next test.
        if (IsWindow(driver.Dialog())) {
            ADD_FAILURE() << "the dialog did not close";
            EndDialog(driver.Dialog(), IDABORT);
        }
    });
    INT_PTR result = dialog.DoModal();
    driverThread.join();
    return result;
}
