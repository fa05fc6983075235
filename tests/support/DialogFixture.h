// The real dialog, fetching its catalogue from the in-process server, with a fresh folder
// around the target folder.
#pragma once

// The server first: winsock2.h must come before windows.h.
#include "HttpTestServer.h"

#include <objbase.h>

#include <string>
#include <vector>

#include "CatalogText.h"
#include "CatalogUrlTest.h"
#include "DialogTexts.h"
#include "DownloadDialog.h"
#include "QuickRetry.h"
#include "TestFiles.h"

class DialogFixture : public CatalogUrlTest {
protected:
    static constexpr const char* kCatalogPath = "/ulvooffline/update/latest.xml";

    void SetUp() override
    {
        CoInitialize(NULL);
        dialog.retrySettings = QuickRetry();
        UseCatalogUrl(server.Url(kCatalogPath));
    }

    // Serves latest.xml with these records, the packs and files below server.Url("/base").
    void PublishCatalog(const std::vector<CatalogEntry>& databases, const std::vector<CatalogEntry>& files = {})
    {
        server.Serve(kCatalogPath, HttpResponse::Ok(CatalogXml(server.Url("/base"), databases, files), "text/xml"));
    }

    size_t CatalogRequests() const
    {
        size_t count = 0;
        for (const HttpRequestRecord& request : server.Requests())
            count += request.path == kCatalogPath;
        return count;
    }

    HttpTestServer server;
    TempDir temp;
    std::string target = temp / "kit";
    DownloadDialog dialog;
};
