// The jobs against the in-process server: through their cores with a progress recorder,
// or through a dialog whose controls are real windows of the test thread.
#pragma once

#include "ServerTest.h"

#include <objbase.h>

#include "CatalogFetch.h"
#include "CatalogText.h"
#include "CatalogUrlTest.h"
#include "DialogHarness.h"
#include "DialogTexts.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"
#include "PackWriter.h"
#include "WorkerRun.h"

const char kCatalogPath[] = "/ulvooffline/update/latest.xml";

// A pack whose files land in `packName`, with the list file its line points at.
inline std::string DatabasePack(const std::string& packName)
{
    PackLayout layout;
    layout.packName = packName;
    layout.files.push_back(PackFile(packName + ".ini", "[" + packName + "]\r\n"));
    layout.files.push_back(PackFile("data\\" + packName + ".dat", GeneratedData(packName.size(), 3000)));
    return BuildPack(layout);
}

// A dialog with real controls on this thread and an empty target folder for its jobs.
class DialogJobTest : public CatalogUrlTest {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        target = temp / "target";
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        harness.dialog.targetFolder = target.c_str();
        harness.dialog.retrySettings = QuickRetry();
    }

    TempDir temp;
    std::string target;
    DialogHarness harness;
};

// The jobs' cores, as the dialog's members run them, with their progress recorded.
class JobTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        CoInitialize(NULL);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    }

    std::string Base() const { return server.Url("/base"); }

    // Serves the catalogue and fetches it, as OK does before a job.
    void PublishCatalog(const std::string& xml)
    {
        catalogText = xml;
        server.Serve(kCatalogPath, HttpResponse::Ok(xml, "text/xml"));
        ASSERT_EQ(S_OK, FetchAndParseCatalog(Env(), server.Url(kCatalogPath).c_str(), &catalog));
    }

    HRESULT RunKit(int kitCode) { return ::RunKit(Env(retry), catalog, target.c_str(), kitCode); }
    HRESULT RunOfflineUpdate() { return ::RunOfflineUpdate(Env(retry), catalog, target.c_str()); }

    // The token is cancelled at the count-th report of bytes beyond an item's first.
    void CancelAtReport(int count)
    {
        progress.onBytes = [this, count](const ProgressRecorder::Bytes& bytes) {
            if (bytes.done > 0 && ++reports_ == count)
                cancel.Cancel();
        };
    }

    UpdateCatalog catalog;
    std::string target = temp / "target";
    std::string catalogText;
    // The jobs' waits: the tests' quick ones, unless a test needs the program's own.
    RetrySettings retry = QuickRetry();

private:
    int reports_ = 0;
};
