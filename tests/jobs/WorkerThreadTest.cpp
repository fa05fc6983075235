#include "JobTestSupport.h"

#include <mutex>

#include "KeepAwake.h"
#include "TestAllocator.h"
#include "WorkerThread.h"

namespace {

// The kit code of each kit button, from the first ("Тэлми") to the fifth ("Креспа").
const int kCodeOfEachKitButton[] = {161, 160, 164, 163, 65};

// The worker with allocation number `index` on its thread made to fail.
struct FailingWorker {
    DownloadDialog* dialog;
    long index;

    static UINT Run(LPVOID param)
    {
        auto* worker = static_cast<FailingWorker*>(param);
        TestAllocator::FailAllocation(GetCurrentThreadId(), worker->index);
        return WorkerThreadProc(worker->dialog);
    }
};

// SetThreadExecutionState recorded while this object lives: each call's flags and thread.
class ExecutionStateRecorder {
public:
    struct Call {
        EXECUTION_STATE flags;
        DWORD thread;
    };
    ExecutionStateRecorder() { SetExecutionState = &Record; }
    ~ExecutionStateRecorder() { SetExecutionState = SetThreadExecutionState; }

    // The calls since the last time they were taken.
    std::vector<Call> Take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(calls_);
    }

private:
    static EXECUTION_STATE WINAPI Record(EXECUTION_STATE flags)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back({flags, GetCurrentThreadId()});
        return ES_CONTINUOUS;
    }
    static inline std::mutex mutex_;
    static inline std::vector<Call> calls_;
};

class WorkerThread : public DialogJobTest {
protected:
    // Serves the catalogue and fetches it into the dialog, as OK does before a job.
    void PublishCatalog(const std::string& xml)
    {
        server.Serve(kCatalogPath, HttpResponse::Ok(xml, "text/xml"));
        UseCatalogUrl(server.Url(kCatalogPath));
        ASSERT_EQ(S_OK, harness.dialog.FetchCatalog());
    }
    std::string Base() const { return server.Url("/base"); }

    HttpTestServer server;

    // Five databases, each in exactly one kit; initial.pack for every kit.
    void PublishKits()
    {
        server.Serve("/base/initial.pack", HttpResponse::Ok(DatabasePack("Bin")));
        std::vector<CatalogEntry> databases;
        for (int code : kCodeOfEachKitButton) {
            std::string name = "k" + std::to_string(code);
            server.Serve("/base/" + name + ".pack", HttpResponse::Ok(DatabasePack(name)));
            databases.push_back({name, name + ".pack", std::to_string(code)});
        }
        PublishCatalog(CatalogXml(Base(), databases, {}));
    }

    // The boxes shown, each with how many WM_DOWNLOAD_DONE had arrived then.
    std::vector<std::pair<std::string, int>> RunWorker(AFX_THREADPROC proc = WorkerThreadProc, LPVOID param = nullptr)
    {
        std::vector<std::pair<std::string, int>> boxes;
        for (const DialogHarness::ShownBox& box : RunWorkerThread(harness, proc, param, 60000)) {
            EXPECT_EQ("", box.caption);
            boxes.emplace_back(box.text, box.downloadDoneBefore);
        }
        return boxes;
    }
};

}  // namespace

TEST_F(WorkerThread, AKitModeRunsTheKitJobWithItsCode)
{
    PublishKits();
    harness.dialog.mode = 2;
    EXPECT_TRUE(RunWorker().empty());
    EXPECT_EQ("#include = [St,Database\\k164\\k164.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_EQ(1, harness.DownloadDoneCount());
}

TEST_F(WorkerThread, OfflineModeRunsTheOfflineJobAndOtherModesRunNothing)
{
    PublishKits();
    harness.dialog.mode = 5;
    EXPECT_TRUE(RunWorker().empty());
    EXPECT_TRUE(FileExists(target + "\\latest.xml"));
    EXPECT_TRUE(FileExists(target + "\\k65.pack"));
    EXPECT_FALSE(FileExists(target + "\\ZebDbLst.ini"));

    for (int mode : {6, -1}) {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        size_t before = server.RequestCount();
        harness.dialog.mode = mode;
        EXPECT_TRUE(RunWorker().empty()) << mode;
        EXPECT_EQ(before, server.RequestCount()) << mode;
        EXPECT_TRUE(ListTree(target).empty()) << mode;
    }
    EXPECT_EQ(3, harness.DownloadDoneCount());
}

TEST_F(WorkerThread, FailedJobShowsOneBoxBeforeTheEndIsPosted)
{
    PublishKits();
    server.Serve("/base/initial.pack", HttpResponse::WithStatus("404 Not Found"));
    harness.dialog.mode = 0;
    std::vector<std::pair<std::string, int>> boxes = RunWorker();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kDownloadErrorText, boxes[0].first);
    EXPECT_EQ(0, boxes[0].second);
    EXPECT_EQ(1, harness.DownloadDoneCount());
}

TEST_F(WorkerThread, AllocationFailuresAnywhereInTheJobEndWithTheBoxAndTheEnd)
{
    PublishKits();
    harness.dialog.mode = 4;
    // Every allocation of the job in turn, until one run needs no more than were counted.
    long index = 0;
    for (bool failed = true; failed; ++index) {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        FailingWorker worker = {&harness.dialog, index};
        std::vector<std::pair<std::string, int>> boxes = RunWorker(FailingWorker::Run, &worker);
        failed = TestAllocator::FailureHappened();
        TestAllocator::StopFailing();
        // Either the job failed and says so once, or it did without that allocation (the
        // unpacker makes do with fewer chunk buffers) and the kit is complete.
        ASSERT_LE(boxes.size(), 1u) << index;
        if (boxes.empty())
            EXPECT_EQ("#include = [St,Database\\k65\\k65.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini")) << index;
        else
            EXPECT_EQ(kDownloadErrorText, boxes[0].first) << index;
    }
    EXPECT_GT(index, 5);
    printf("%ld allocations of the kit job each failed in turn\n", index - 1);
}

TEST_F(WorkerThread, TheComputerIsKeptAwakeOnTheWorkerWhileAJobRunsWhateverItsEnd)
{
    ExecutionStateRecorder executionState;
    PublishKits();
    harness.dialog.mode = 4;
    auto expectSetThenCleared = [&](const char* end) {
        std::vector<ExecutionStateRecorder::Call> calls = executionState.Take();
        ASSERT_EQ(2u, calls.size()) << end;
        EXPECT_EQ(static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED), calls[0].flags) << end;
        EXPECT_EQ(static_cast<EXECUTION_STATE>(ES_CONTINUOUS), calls[1].flags) << end;
        // Windows keeps the state per thread: cleared where it was set, on the worker.
        EXPECT_EQ(calls[0].thread, calls[1].thread) << end;
        EXPECT_NE(GetCurrentThreadId(), calls[0].thread) << end;
    };

    EXPECT_TRUE(RunWorker().empty());
    expectSetThenCleared("success");

    server.Serve("/base/k65.pack", HttpResponse::WithStatus("404 Not Found"));
    EXPECT_EQ(1u, RunWorker().size());
    expectSetThenCleared("failure");

    // A cancelled job shows no box.
    PublishKits();
    harness.dialog.abortRequested.Cancel();
    EXPECT_TRUE(RunWorker().empty());
    expectSetThenCleared("cancel");
}
