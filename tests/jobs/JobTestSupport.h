// The jobs against the in-process server: through their cores with a progress recorder,
// or through a dialog whose controls are real windows of the test thread.
#pragma once

// The server first: winsock2.h must come before windows.h.
#include "HttpTestServer.h"

#include <objbase.h>

#include "CancelToken.h"
#include "CatalogFetch.h"
#include "CatalogText.h"
#include "CatalogUrlTest.h"
#include "DialogHarness.h"
#include "DialogTexts.h"
#include "KitJob.h"
#include "OfflineUpdateJob.h"
#include "PackWriter.h"
#include "ProgressRecorder.h"
#include "QuickRetry.h"
#include "TestFiles.h"

// A dialog with real controls on this thread and an empty target folder for its jobs.
class DialogJobTest : public CatalogUrlTest {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        target = temp / "target";
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        harness.dialog.targetFolder = target.c_str();
    }

    TempDir temp;
    std::string target;
    DialogHarness harness;
};

// What the jobs' tests serve: a catalogue, and packs that unpack to a folder of their own.
class JobSite {
protected:
    std::string Base() const { return server.Url("/base"); }
    std::string CatalogPath() const { return "/ulvooffline/update/latest.xml"; }

    // Serves the catalogue: the text the jobs then work on.
    void ServeCatalog(const std::string& xml)
    {
        catalogText = xml;
        server.Serve(CatalogPath(), HttpResponse::Ok(xml, "text/xml"));
    }

    // A pack whose files land in `packName`, with the list file its line points at.
    static std::string DatabasePack(const std::string& packName)
    {
        PackLayout layout;
        layout.packName = packName;
        layout.files.push_back(PackFile(packName + ".ini", "[" + packName + "]\r\n"));
        layout.files.push_back(PackFile("data\\" + packName + ".dat", GeneratedData(packName.size(), 3000)));
        return BuildPack(layout);
    }

    HttpTestServer server;
    std::string catalogText;
};

// The jobs' cores, as the dialog's members run them, with their progress recorded.
class JobTest : public ::testing::Test, protected JobSite {
protected:
    void SetUp() override
    {
        CoInitialize(NULL);
        ASSERT_NE(nullptr, session);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    }
    void TearDown() override { InternetCloseHandle(session); }

    TransferEnv Env() { return TransferEnv{session, cancel, progress, QuickRetry()}; }

    // Serves the catalogue and fetches it, as OK does before a job.
    void PublishCatalog(const std::string& xml)
    {
        ServeCatalog(xml);
        NoProgress unseen;
        ASSERT_EQ(S_OK,
                  FetchAndParseCatalog(TransferEnv{session, cancel, unseen, QuickRetry()},
                                       server.Url(CatalogPath()).c_str(), &catalog));
    }

    HRESULT RunKit(int kitCode) { return ::RunKit(Env(), catalog, target.c_str(), kitCode); }
    HRESULT RunOfflineUpdate() { return ::RunOfflineUpdate(Env(), catalog, target.c_str()); }

    // The token is cancelled at the count-th report of bytes beyond an item's first.
    void CancelAtReport(int count)
    {
        progress.onBytes = [this, count](const ProgressRecorder::Bytes& bytes) {
            if (bytes.done > 0 && ++reports_ == count)
                cancel.Cancel();
        };
    }

    HINTERNET session = OpenUpdateSession();
    CancelToken cancel;
    ProgressRecorder progress;
    UpdateCatalog catalog;
    TempDir temp;
    std::string target = temp / "target";

private:
    int reports_ = 0;
};
