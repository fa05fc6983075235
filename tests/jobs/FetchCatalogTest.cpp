#include "DialogFixture.h"

#include <gtest/gtest.h>

namespace {

class CatalogFetch : public DialogFixture {
protected:
    HRESULT FetchWith(HttpResponse response)
    {
        server.Serve(kCatalogPath, response);
        return dialog.FetchCatalog();
    }

    std::string SampleXml() const
    {
        return CatalogXml("http://files.example/base", {{"Первая", "db/1.pack", "161, 160"}, {"second", "db/2.pack"}},
                          {{"setup", "setup.exe"}});
    }
};

}  // namespace

TEST_F(CatalogFetch, FetchesAndParsesTheCatalogueOnceWithOneSession)
{
    std::string xml = SampleXml();
    ASSERT_EQ(S_OK, FetchWith(HttpResponse::Ok(xml, "text/xml; charset=windows-1251")));
    ASSERT_NE(nullptr, dialog.internetSession);
    EXPECT_EQ(static_cast<int>(xml.size() + 1), dialog.catalog.xmlSize);
    EXPECT_EQ(xml, std::string(dialog.catalog.xmlText));
    EXPECT_EQ('\0', dialog.catalog.xmlText[xml.size()]);
    EXPECT_STREQ("http://files.example/base", dialog.catalog.baseUrl);
    ASSERT_EQ(2, dialog.catalog.databaseCount);
    EXPECT_STREQ("Первая", dialog.catalog.databases[0].name);
    EXPECT_STREQ(",161,160,", dialog.catalog.databases[0].access);
    ASSERT_EQ(1, dialog.catalog.fileCount);

    // A second fetch reuses the session and replaces the catalogue whole.
    HINTERNET session = dialog.internetSession;
    std::string smaller = CatalogXml("http://other.example", {{"only", "only.pack"}}, {});
    ASSERT_EQ(S_OK, FetchWith(HttpResponse::Ok(smaller, "text/xml")));
    EXPECT_EQ(session, dialog.internetSession);
    EXPECT_STREQ("http://other.example", dialog.catalog.baseUrl);
    EXPECT_EQ(1, dialog.catalog.databaseCount);
    EXPECT_EQ(0, dialog.catalog.fileCount);
    for (const HttpRequestRecord& request : server.Requests())
        EXPECT_EQ(kCatalogPath, request.path);
}

TEST_F(CatalogFetch, AFailedFetchKeepsTheCatalogue)
{
    ASSERT_EQ(S_OK, FetchWith(HttpResponse::Ok(SampleXml(), "text/xml")));
    std::string kept(dialog.catalog.xmlText);
    HttpResponse cut = HttpResponse::Ok(SampleXml(), "text/xml");
    cut.closeAfterBytes = 100;
    for (const HttpResponse& failing : {HttpResponse::WithStatus("404 Not Found"), cut}) {
        EXPECT_EQ(E_FAIL, FetchWith(failing));
        ASSERT_NE(nullptr, dialog.catalog.xmlText);
        EXPECT_EQ(kept, dialog.catalog.xmlText);
        EXPECT_EQ(2, dialog.catalog.databaseCount);
    }
}

TEST_F(CatalogFetch, FetchAfterAFailedParseDropsTheOldLists)
{
    std::string broken = CatalogXml("b", {{"one", "1.pack"}}, {{"f", "f"}});
    broken.replace(broken.find("<file "), 6, "<!-- c --><file ");
    EXPECT_TRUE(FAILED(FetchWith(HttpResponse::Ok(broken, "text/xml"))));
    EXPECT_EQ(1, dialog.catalog.databaseCount);

    std::string noFiles = "<latest base=\"x\"><databases/></latest>";
    ASSERT_EQ(S_OK, FetchWith(HttpResponse::Ok(noFiles, "text/xml")));
    EXPECT_EQ(0, dialog.catalog.databaseCount);
    EXPECT_EQ(0, dialog.catalog.fileCount);
    EXPECT_EQ(nullptr, dialog.catalog.files);
}
