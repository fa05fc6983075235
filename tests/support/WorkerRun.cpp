#include "WorkerRun.h"

#include <gtest/gtest.h>

#include "WindowDriver.h"

std::vector<DialogHarness::ShownBox> RunWorkerThread(DialogHarness& harness, AFX_THREADPROC proc, LPVOID param,
                                                     DWORD timeoutMs)
{
    std::vector<DialogHarness::ShownBox> boxes;
    WindowDriver boxesOf(harness.Host());
    const int doneBefore = harness.DownloadDoneCount();
    harness.dialog.workerThread = AfxBeginThread(proc, param ? param : &harness.dialog);
    EXPECT_NE(nullptr, harness.dialog.workerThread);
    auto takeBoxes = [&] {
        std::string caption;
        std::string text = boxesOf.TakeBox(&caption);
        if (!text.empty())
            boxes.push_back({text, caption, harness.DownloadDoneCount() - doneBefore});
    };
    EXPECT_TRUE(harness.PumpUntil([&] { return harness.DownloadDoneCount() > doneBefore; }, timeoutMs, takeBoxes));
    harness.PumpUntil([] { return false; }, 200, takeBoxes);
    EXPECT_EQ(doneBefore + 1, harness.DownloadDoneCount());
    return boxes;
}
