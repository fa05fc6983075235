// What the dialog's captions and bars show for what a job reports.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogProgress.h"

namespace {

class DialogProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        dialog = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 400, 100, NULL, NULL, NULL, NULL);
        SetPropA(dialog, "test", this);
        dialogProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordLinkWaiting)));
        for (HWND* control : {&itemCaption, &overallCaption})
            *control = CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 300, 16, dialog, NULL, NULL, NULL);
        for (HWND* bar : {&itemBar, &overallBar})
            *bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 20, 300, 16, dialog, NULL, NULL, NULL);
    }
    void TearDown() override { DestroyWindow(dialog); }

    static LRESULT CALLBACK RecordLinkWaiting(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<DialogProgressTest*>(GetPropA(hwnd, "test"));
        if (message == WM_LINK_WAITING)
            self->linkWaiting.push_back(wParam != FALSE);
        return CallWindowProcA(self->dialogProc, hwnd, message, wParam, lParam);
    }

    static std::string Text(HWND window)
    {
        char text[256] = "";
        GetWindowTextA(window, text, sizeof(text));
        return text;
    }
    static LRESULT Position(HWND bar) { return SendMessageA(bar, PBM_GETPOS, 0, 0); }
    static LRESULT Top(HWND bar) { return SendMessageA(bar, PBM_GETRANGE, FALSE, 0); }

    HWND dialog = NULL;
    WNDPROC dialogProc = nullptr;
    HWND itemCaption = NULL;
    HWND itemBar = NULL;
    HWND overallCaption = NULL;
    HWND overallBar = NULL;
    std::vector<bool> linkWaiting;
};

}  // namespace

TEST_F(DialogProgressTest, TheOverallBarCountsItemsAndTheItemBarBytesScaledBelow2To31)
{
    DialogProgress progress({dialog, itemCaption, itemBar, overallCaption, overallBar});
    progress.JobStarted(3);
    EXPECT_EQ("Общий ход", Text(overallCaption));
    EXPECT_EQ(3, Top(overallBar));
    EXPECT_EQ(0, Position(overallBar));

    // 3 GiB: range and positions halved.
    progress.ItemStarted("Исполняемые файлы");
    EXPECT_EQ("Исполняемые файлы", Text(itemCaption));
    progress.BytesDone(0, 3221225472u);
    EXPECT_EQ(1610612736, Top(itemBar));
    progress.BytesDone(6 << 20, 3221225472u);
    EXPECT_EQ(3 << 20, Position(itemBar));
    progress.ItemDone();
    EXPECT_EQ(1, Position(overallBar));

    // The next item's range is its own, unscaled below 2 GiB.
    progress.ItemStarted("one");
    progress.BytesDone(5, 10);
    EXPECT_EQ(10, Top(itemBar));
    EXPECT_EQ(5, Position(itemBar));
    progress.ItemDone();
    EXPECT_EQ(2, Position(overallBar));
    EXPECT_TRUE(linkWaiting.empty());
}

TEST_F(DialogProgressTest, AWaitForTheLinkCountsDownInTheItemCaptionAndGivesItBack)
{
    DialogProgress progress({dialog, itemCaption, itemBar, overallCaption, overallBar});
    progress.ItemStarted("файл");
    progress.WaitingForLink(4);
    EXPECT_EQ("Нет связи с сервером, повтор через 4 с", Text(itemCaption));
    progress.WaitingForLink(3);
    EXPECT_EQ("Нет связи с сервером, повтор через 3 с", Text(itemCaption));
    // The dialog hears of the wait once, and of its end once.
    EXPECT_EQ(std::vector<bool>{true}, linkWaiting);
    progress.WaitingForLink(0);
    EXPECT_EQ("файл", Text(itemCaption));
    EXPECT_EQ((std::vector<bool>{true, false}), linkWaiting);
    progress.WaitingForLink(0);
    EXPECT_EQ(2u, linkWaiting.size());
}
