// A dialog with real controls, a catalogue served by the in-process server, and a target folder.
#pragma once

// The server first: winsock2.h must come before windows.h.
#include "HttpTestServer.h"

#include <objbase.h>

#include "CatalogText.h"
#include "CatalogUrlTest.h"
#include "DialogHarness.h"
#include "PackWriter.h"
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

// The same, with the catalogue and the packs served by the in-process server.
class JobTest : public DialogJobTest {
protected:
    // Serves the catalogue and fetches it into the dialog, as OK does before a job.
    void PublishCatalog(const std::string& xml)
    {
        catalogText = xml;
        server.Serve("/ulvooffline/update/latest.xml", HttpResponse::Ok(xml, "text/xml"));
        UseCatalogUrl(server.Url("/ulvooffline/update/latest.xml"));
        ASSERT_EQ(S_OK, harness.dialog.FetchCatalog());
    }

    std::string Base() const { return server.Url("/base"); }

    // A pack whose files land in `packName`, with the list file its line points at.
    static std::string DatabasePack(const std::string& packName)
    {
        PackLayout layout;
        layout.packName = packName;
        layout.files.push_back(PackFile(packName + ".ini", "[" + packName + "]\r\n"));
        layout.files.push_back(PackFile("data\\" + packName + ".dat", GeneratedData(packName.size(), 3000)));
        return BuildPack(layout);
    }

    void AbortAtItemPosition(int count)
    {
        harness.itemProgress.onMessage = [this, count](const ProgressMessage& message) {
            if (message.message == PBM_SETPOS && message.wParam > 0 && ++itemPositions_ == count)
                harness.dialog.cancelToken.Cancel();
        };
    }

    HttpTestServer server;
    std::string catalogText;

private:
    int itemPositions_ = 0;
};
