// What the dialog's captions and bars show for what a job reports.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogProgress.h"

namespace {

// The WM_LINK_WAITING messages the dialog window received: TRUE or FALSE.
std::vector<WPARAM> linkWaiting;

LRESULT CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LINK_WAITING)
        linkWaiting.push_back(wParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class DialogProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DialogProc;
        windowClass.lpszClassName = "ZebTestProgressDialog";
        RegisterClassA(&windowClass);
        linkWaiting.clear();
        controls_.dialog =
            CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 300, 90, NULL, NULL, NULL, NULL);
        controls_.itemCaption = Child("Static");
        controls_.itemBar = Child(PROGRESS_CLASSA);
        controls_.overallCaption = Child("Static");
        controls_.overallBar = Child(PROGRESS_CLASSA);
    }
    void TearDown() override { DestroyWindow(controls_.dialog); }

    HWND Child(const char* className)
    {
        return CreateWindowExA(0, className, "", WS_CHILD, 0, 0, 300, 16, controls_.dialog, NULL, NULL, NULL);
    }
    static std::string Text(HWND window)
    {
        char text[256] = "";
        GetWindowTextA(window, text, sizeof(text));
        return text;
    }
    static LRESULT Position(HWND bar) { return SendMessageA(bar, PBM_GETPOS, 0, 0); }
    static LRESULT Top(HWND bar) { return SendMessageA(bar, PBM_GETRANGE, FALSE, 0); }

    DialogControls controls_ = {};
};

}  // namespace

TEST_F(DialogProgressTest, TheOverallBarCountsItemsAndTheItemBarBytesScaledBelow2To31)
{
    DialogProgress progress(controls_);
    progress.JobStarted(3);
    EXPECT_EQ("Общий ход", Text(controls_.overallCaption));
    EXPECT_EQ(3, Top(controls_.overallBar));
    EXPECT_EQ(0, Position(controls_.overallBar));

    // 3 GiB: range and positions halved.
    progress.ItemStarted("Исполняемые файлы");
    EXPECT_EQ("Исполняемые файлы", Text(controls_.itemCaption));
    progress.BytesDone(0, 3221225472u);
    EXPECT_EQ(1610612736, Top(controls_.itemBar));
    progress.BytesDone(6 << 20, 3221225472u);
    EXPECT_EQ(3 << 20, Position(controls_.itemBar));
    progress.ItemDone();
    EXPECT_EQ(1, Position(controls_.overallBar));

    // The next item's range is its own.
    progress.ItemStarted("one");
    progress.BytesDone(5, 10);
    EXPECT_EQ(10, Top(controls_.itemBar));
    EXPECT_EQ(5, Position(controls_.itemBar));
    EXPECT_TRUE(linkWaiting.empty());
}

TEST_F(DialogProgressTest, AWaitForTheLinkCountsDownInTheItemCaptionAndGivesItBack)
{
    DialogProgress progress(controls_);
    progress.ItemStarted("файл");
    progress.WaitingForLink(4);
    EXPECT_EQ("Нет связи с сервером, повтор через 4 с", Text(controls_.itemCaption));
    progress.WaitingForLink(3);
    EXPECT_EQ("Нет связи с сервером, повтор через 3 с", Text(controls_.itemCaption));
    progress.WaitingForLink(0);
    EXPECT_EQ("файл", Text(controls_.itemCaption));
    progress.WaitingForLink(0);
    // The dialog hears of the wait once, and of its end once.
    EXPECT_EQ((std::vector<WPARAM>{TRUE, FALSE}), linkWaiting);
}
