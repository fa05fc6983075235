#include "JobTestSupport.h"

#include "ItemNames.h"

namespace {

class OfflineUpdateJob : public JobTest {
protected:
    HRESULT RunJob() { return RunOfflineUpdate(); }

    std::vector<std::string> RequestedPaths()
    {
        std::vector<std::string> paths;
        for (const HttpRequestRecord& request : server.Requests())
            paths.push_back(request.path);
        return paths;
    }
};

}  // namespace

TEST_F(OfflineUpdateJob, StoresTheCatalogueThenEveryFileBeforeEveryDatabase)
{
    ASSERT_TRUE(CreateDirectoryA((target + "\\upd").c_str(), NULL));
    server.Serve("/base/upd/setup.exe", HttpResponse::Ok("setup bytes"));
    server.Serve("/base/notes.txt", HttpResponse::Ok("notes"));
    server.Serve("/base/db1.pack", HttpResponse::Ok(DatabasePack("db1")));
    server.Serve("/base/db2.pack", HttpResponse::Ok(DatabasePack("db2")));
    server.Serve("/base/empty.bin", HttpResponse::Ok(""));
    PublishCatalog(CatalogXml(Base(), {{"База 1", "db1.pack", "65"}, {"db2", "db2.pack", ",,"}},
                              {{"Установка", "upd/setup.exe"}, {"notes", "notes.txt"}, {"empty", "empty.bin"}}));
    ASSERT_TRUE(WriteWholeFile(target + "\\latest.xml", "an older catalogue that is longer than the new one" +
                                                            std::string(2000, '.')));
    ASSERT_EQ(S_OK, RunJob());

    EXPECT_EQ((std::vector<std::string>{"db1.pack", "db2.pack", "empty.bin", "latest.xml", "notes.txt", "upd\\",
                                        "upd\\setup.exe"}),
              ListTree(target));
    EXPECT_EQ(catalogText, ReadWholeFile(target + "\\latest.xml"));
    EXPECT_EQ("setup bytes", ReadWholeFile(target + "\\upd\\setup.exe"));
    EXPECT_EQ(DatabasePack("db2"), ReadWholeFile(target + "\\db2.pack"));
    EXPECT_TRUE(FileExists(target + "\\empty.bin"));
    EXPECT_EQ((std::vector<std::string>{"/ulvooffline/update/latest.xml", "/base/upd/setup.exe", "/base/notes.txt",
                                        "/base/empty.bin", "/base/db1.pack", "/base/db2.pack"}),
              RequestedPaths());
    EXPECT_EQ((std::vector<std::string>{"Установка", "notes", "empty", "База 1", "db2"}), progress.Captions());
    EXPECT_EQ(5, progress.Items());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), progress.Overall());
}

TEST_F(OfflineUpdateJob, ARerunOverACompleteUpdateAsksEachFileForItsLastByteAndEachPackForItsTable)
{
    const std::vector<std::string> bodies = {GeneratedData(1, 70000), "x", DatabasePack("db")};
    const std::vector<std::string> paths = {"a.bin", "b.txt", "db.pack"};
    for (size_t i = 0; i < paths.size(); ++i) {
        HttpResponse response = HttpResponse::Ok(bodies[i]);
        // Dated to an odd second, answered past the end as Apache 2.4 answers.
        response.lastModified = "Tue, 01 Dec 2026 10:00:0" + std::to_string(2 * i + 1) + " GMT";
        response.pastTheEnd = HttpResponse::PastTheEnd::kApachePage;
        server.Serve("/base/" + paths[i], response);
    }
    PublishCatalog(CatalogXml(Base(), {{"db", "db.pack"}}, {{"a", "a.bin"}, {"b", "b.txt"}}));
    ASSERT_EQ(S_OK, RunJob());

    // With the program's own waits, so that any wait would show.
    retry = RetrySettings();
    const size_t before = server.RequestCount();
    const long long sent = server.BodyBytesSent();
    ASSERT_EQ(S_OK, RunJob());
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(before + paths.size() + 1, requests.size());
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ("bytes=" + std::to_string(bodies[i].size() - 1) + "-", requests[before + i].Header("Range"));
    // The pack: its header, then its table of two entries.
    EXPECT_EQ("bytes=0-307", requests[before + 2].Header("Range"));
    EXPECT_EQ("bytes=308-875", requests[before + 3].Header("Range"));
    EXPECT_EQ(2 + 876, server.BodyBytesSent() - sent);
    EXPECT_TRUE(progress.Waits().empty());
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(bodies[i], ReadWholeFile(target + "\\" + paths[i]));
}

TEST_F(OfflineUpdateJob, AFailedOrCancelledRerunKeepsTheEarlierCatalogue)
{
    server.Serve("/base/file.bin", HttpResponse::Ok(GeneratedData(3, (8 << 20) + 5)));
    PublishCatalog(CatalogXml(Base(), {}, {{"file", "file.bin"}}));
    ASSERT_EQ(S_OK, RunJob());
    const std::string earlier = catalogText;

    PublishCatalog(CatalogXml(Base(), {}, {{"file", "file.bin"}, {"gone", "gone.bin"}}));
    EXPECT_EQ(E_FAIL, RunJob());
    EXPECT_EQ(earlier, ReadWholeFile(target + "\\latest.xml"));
    ASSERT_TRUE(DeleteFileA((target + "\\file.bin").c_str()));
    CancelAtReport(1);
    EXPECT_EQ(E_ABORT, RunJob());
    EXPECT_EQ(earlier, ReadWholeFile(target + "\\latest.xml"));
    EXPECT_FALSE(FileExists(target + "\\latest.xml.part"));
}

TEST(ItemNames, ItemsThatAreOneFileOrTheToolsOwnAreTold)
{
    const char* paths[] = {"files/A.bin", "files/a.bin", "./files\\A.BIN.", "other.bin", "latest.xml",
                           "LATEST.XML.part", "other.bin.part", "sub/other.bin", "files/a.bin .part"};
    ItemName names[9];
    ASSERT_TRUE(NameItems(paths, 9, names));
    const ItemName expected[] = {ItemName::kOwn,   ItemName::kAfterAnEarlier, ItemName::kAfterAnEarlier,
                                 ItemName::kOwn,   ItemName::kTools,          ItemName::kTools,
                                 ItemName::kTools, ItemName::kOwn,            ItemName::kOwn};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(static_cast<int>(expected[i]), static_cast<int>(names[i])) << paths[i];
}

TEST_F(OfflineUpdateJob, PathsThatAreOneFileEndAsTheLastAndTheToolsOwnNamesAreRefused)
{
    HttpResponse first = HttpResponse::Ok(GeneratedData(1, 3000));
    first.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    HttpResponse second = HttpResponse::Ok(GeneratedData(2, 5000));
    second.lastModified = first.lastModified;
    ASSERT_TRUE(CreateDirectoryA((target + "\\files").c_str(), NULL));
    server.Serve("/base/files/A.bin", first);
    server.Serve("/base/files/a.bin", second);
    PublishCatalog(CatalogXml(Base(), {}, {{"first", "files/A.bin"}, {"second", "files/a.bin"}}));
    ASSERT_EQ(S_OK, RunJob());
    // The second is fetched whole, never continued from the first.
    EXPECT_EQ(second.body, ReadWholeFile(target + "\\files\\a.bin"));
    EXPECT_FALSE(server.Requests().back().HasHeader("Range"));

    for (const char* own : {"latest.xml.part", "files/a.bin.part"}) {
        PublishCatalog(CatalogXml(Base(), {}, {{"first", "files/A.bin"}, {"own", own}}));
        EXPECT_EQ(E_FAIL, RunJob()) << own;
        // Nothing was asked for it, nor written under its name.
        EXPECT_EQ(std::string("/base/files/A.bin"), server.Requests().back().path) << own;
        EXPECT_FALSE(FileExists(target + "\\" + own)) << own;
    }
}

TEST_F(OfflineUpdateJob, EmptyCatalogueWritesOnlyLatestXml)
{
    PublishCatalog(CatalogXml(Base(), {}, {}));
    ASSERT_EQ(S_OK, RunJob());
    EXPECT_EQ((std::vector<std::string>{"latest.xml"}), ListTree(target));
    EXPECT_EQ(0, progress.Items());
}

TEST_F(OfflineUpdateJob, PathsThatCouldLeaveTheTargetAreRefusedBeforeAnyRequest)
{
    // Which paths are refused is PackNames' table; here, that a refused one is refused
    // before its request, whether a path climbs out, names another volume or a device.
    for (const char* bad : {"sub\\..\\..\\escaped.bin", "//server/share/escaped.bin", "NUL.bin"}) {
        server.Serve("/base/good.bin", HttpResponse::Ok("good"));
        PublishCatalog(CatalogXml(Base(), {{"db", "db.pack"}}, {{"good", "good.bin"}, {"bad", bad}}));
        size_t before = server.RequestCount();
        EXPECT_TRUE(FAILED(RunJob())) << bad;
        EXPECT_EQ(before + 1, server.RequestCount()) << bad;  // good.bin only
        EXPECT_FALSE(FileExists(temp / "escaped.bin")) << bad;
        EXPECT_EQ((std::vector<std::string>{"good.bin", "latest.xml"}), ListTree(target)) << bad;
    }
}

TEST_F(OfflineUpdateJob, LeadingSeparatorStoresInsideTheTarget)
{
    server.Serve("/base//lead.bin", HttpResponse::Ok("lead"));
    PublishCatalog(CatalogXml(Base(), {}, {{"lead", "/lead.bin"}}));
    ASSERT_EQ(S_OK, RunJob());
    EXPECT_EQ("lead", ReadWholeFile(target + "\\lead.bin"));
}

TEST_F(OfflineUpdateJob, MissingSubfolderFailsTheJobAndCreatesNoDirectory)
{
    server.Serve("/base/sub/file.bin", HttpResponse::Ok("data"));
    server.Serve("/base/after.bin", HttpResponse::Ok("data"));
    PublishCatalog(CatalogXml(Base(), {}, {{"in sub", "sub/file.bin"}, {"after", "after.bin"}}));
    EXPECT_TRUE(FAILED(RunJob()));
    EXPECT_EQ((std::vector<std::string>{"latest.xml"}), ListTree(target));
    EXPECT_EQ((std::vector<std::string>{"in sub"}), progress.Captions());
}

TEST_F(OfflineUpdateJob, LatestXmlThatCannotBeWrittenFailsBeforeAnyDownload)
{
    server.Serve("/base/file.bin", HttpResponse::Ok("data"));
    PublishCatalog(CatalogXml(Base(), {}, {{"file", "file.bin"}}));
    ASSERT_TRUE(CreateDirectoryA((target + "\\latest.xml").c_str(), NULL));
    size_t before = server.RequestCount();
    EXPECT_TRUE(FAILED(RunJob()));
    EXPECT_EQ(before, server.RequestCount());
    EXPECT_FALSE(FileExists(target + "\\file.bin"));
}

TEST_F(OfflineUpdateJob, AbortDuringAFileStopsAfterIt)
{
    server.Serve("/base/big.bin", HttpResponse::Ok(GeneratedData(5, (8 << 20) + 5)));
    server.Serve("/base/next.bin", HttpResponse::Ok("next"));
    PublishCatalog(CatalogXml(Base(), {}, {{"big", "big.bin"}, {"next", "next.bin"}}));
    CancelAtReport(1);
    ASSERT_EQ(E_ABORT, RunJob());
    // The flag is seen at the next read: big.bin keeps what was written before it.
    std::string partial = ReadWholeFile(target + "\\big.bin");
    EXPECT_LT(partial.size(), static_cast<size_t>((8 << 20) + 5));
    EXPECT_EQ(GeneratedData(5, partial.size()), partial);
    EXPECT_FALSE(FileExists(target + "\\next.bin"));
    EXPECT_EQ((std::vector<int>{0}), progress.Overall());
}
