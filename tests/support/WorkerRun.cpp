// DialogHarness::RunWorkerThread: the worker started as OK starts it, pumped to its end.
#include "DialogHarness.h"

#include <gtest/gtest.h>

#include "WindowDriver.h"

std::vector<DialogHarness::ShownBox> DialogHarness::RunWorkerThread(AFX_THREADPROC proc, LPVOID param,
                                                                    DWORD timeoutMs)
{
    std::vector<ShownBox> boxes;
    WindowDriver boxesOf(host_);
    const int doneBefore = downloadDone_;
    dialog.workerThread = AfxBeginThread(proc, param ? param : &dialog);
    EXPECT_NE(nullptr, dialog.workerThread);
    auto takeBoxes = [&] {
        std::string caption;
        std::string text = boxesOf.TakeBox(&caption);
        if (!text.empty())
            boxes.push_back({text, caption, downloadDone_ - doneBefore});
    };
    EXPECT_TRUE(PumpUntil([&] { return downloadDone_ > doneBefore; }, timeoutMs, takeBoxes));
    PumpUntil([] { return false; }, 200, takeBoxes);
    EXPECT_EQ(doneBefore + 1, downloadDone_);
    return boxes;
}
