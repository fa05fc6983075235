#include "JobTestSupport.h"

namespace {

class KitJob : public JobTest {
protected:
    // initial.pack and four databases: "one" in kits 161 and 160, "two" only in a
    // kit 1610, "three" in every kit, "four" in kit 65.
    void PublishSampleKit()
    {
        PackLayout executables;
        executables.packName = "Bin";
        executables.files.push_back(PackFile("app.exe", "MZ executable", MakeFileTime(0x01D5000000000000ull)));
        executables.files.push_back(PackFile("lib\\helper.dll", GeneratedData(9, 70000)));
        initialPack = BuildPack(executables);
        server.Serve("/base/initial.pack", Dated(initialPack));
        for (const char* name : {"one", "two", "three", "four"})
            server.Serve(std::string("/base/db/") + name + ".pack", Dated(DatabasePack(name)));
        PublishCatalog(CatalogXml(Base(),
                                  {{"one", "db\\one.pack", "161, 160"},
                                   {"two", "db/two.pack", "1610"},
                                   {"three", "db/three.pack"},
                                   {"four", "db/four.pack", "65"}},
                                  {}));
    }

    // As a real server serves a file: with its date, and so with ranges.
    static HttpResponse Dated(const std::string& body)
    {
        HttpResponse response = HttpResponse::Ok(body);
        response.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
        return response;
    }

    std::string IniLine(const std::string& name) { return "#include = [St,Database\\" + name + "\\" + name + ".ini]\r\n"; }

    std::string initialPack;
};

}  // namespace

TEST_F(KitJob, WholeKitUnpacksEveryPackAndListsItsDatabases)
{
    PublishSampleKit();
    ASSERT_EQ(S_OK, RunKit(161));

    EXPECT_EQ((std::vector<std::string>{"Bin\\", "Bin\\app.exe", "Bin\\lib\\", "Bin\\lib\\helper.dll", "Database\\",
                                        "Database\\one\\", "Database\\one\\data\\", "Database\\one\\data\\one.dat",
                                        "Database\\one\\one.ini", "Database\\three\\", "Database\\three\\data\\",
                                        "Database\\three\\data\\three.dat", "Database\\three\\three.ini",
                                        "ZebDbLst.ini"}),
              ListTree(target));
    EXPECT_EQ(IniLine("one") + IniLine("three"), ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_EQ("MZ executable", ReadWholeFile(target + "\\Bin\\app.exe"));
    EXPECT_EQ("[three]\r\n", ReadWholeFile(target + "\\Database\\three\\three.ini"));

    EXPECT_EQ((std::vector<std::string>{"Исполняемые файлы", "one", "three"}), progress.Captions());
    EXPECT_EQ(3, progress.Items());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), progress.Overall());

    // Packs are requested at the base URL with every backslash turned into a slash.
    std::vector<std::string> paths;
    for (const HttpRequestRecord& request : server.Requests())
        paths.push_back(request.path);
    EXPECT_EQ((std::vector<std::string>{"/ulvooffline/update/latest.xml", "/base/initial.pack", "/base/db/one.pack",
                                        "/base/db/three.pack"}),
              paths);
}

TEST_F(KitJob, ARerunOverACompleteKitAsksEachPackForItsHeaderAndTableOnlyAndNeverWaits)
{
    PublishSampleKit();
    ASSERT_EQ(S_OK, RunKit(161));
    // With the program's own waits, so that any wait would show as a second.
    retry = RetrySettings();
    const size_t before = server.RequestCount();
    const DWORD started = GetTickCount();
    ASSERT_EQ(S_OK, RunKit(161));
    const DWORD elapsed = GetTickCount() - started;
    std::vector<HttpRequestRecord> requests = server.Requests();
    requests.erase(requests.begin(), requests.begin() + before);
    const std::vector<std::string> packs = {"/base/initial.pack", "/base/db/one.pack", "/base/db/three.pack"};
    ASSERT_EQ(2 * packs.size(), requests.size());
    for (size_t i = 0; i < packs.size(); ++i) {
        EXPECT_EQ(packs[i], requests[2 * i].path);
        EXPECT_EQ("bytes=0-307", requests[2 * i].Header("Range"));
        EXPECT_EQ(packs[i], requests[2 * i + 1].path);
        EXPECT_EQ("bytes=308-875", requests[2 * i + 1].Header("Range"));
    }
    EXPECT_TRUE(progress.Waits().empty());
    EXPECT_LT(elapsed, 1000u);
    EXPECT_EQ(IniLine("one") + IniLine("three"), ReadWholeFile(target + "\\ZebDbLst.ini"));
}

TEST(KitMembership, ACodeBelongsBetweenCommasAndAnEmptyListToEveryKit)
{
    const struct {
        const char* access;  // as the catalogue normalises it
        KitCode kit;
        bool belongs;
    } rows[] = {
        {",161,160,", 161, true},  {",161,160,", 160, true},  {",161,160,", 1610, false},
        {",1610,", 161, false},    {",1610,", 1610, true},    {"", 65, true},
        {",65,", 65, true},        {",65,", 6, false},        {",,", 65, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.belongs, BelongsToKit(row.access, row.kit)) << row.access << " " << row.kit;
}

TEST_F(KitJob, BlankOnlyAccessBelongsToNoKitAndNoMembersGivesAnEmptyList)
{
    server.Serve("/base/initial.pack", HttpResponse::Ok(DatabasePack("Bin")));
    PublishCatalog(CatalogXml(Base(), {{"nobody", "db/x.pack", "   "}, {"other", "db/y.pack", "65"}}, {}));
    ASSERT_EQ(S_OK, RunKit(161));
    EXPECT_EQ(0, catalog.databases[0].selected);
    EXPECT_EQ("", ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_TRUE(FileExists(target + "\\ZebDbLst.ini"));
    EXPECT_FALSE(DirectoryExists(target + "\\Database"));
    EXPECT_EQ(1, progress.Items());
    EXPECT_EQ((std::vector<int>{0, 1}), progress.Overall());
}

TEST_F(KitJob, NamesThatWouldBreakTheListOrLieBesideItAreRefusedBeforeTheirRequest)
{
    server.Serve("/base/initial.pack", HttpResponse::Ok(DatabasePack("Bin")));
    server.Serve("/base/ok.pack", HttpResponse::Ok(DatabasePack("ok")));
    // As the catalogue's XML holds them: a line break only as character references.
    for (const char* name : {"a]b", "line&#13;&#10;break", "..\\up"}) {
        SCOPED_TRACE(name);
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        server.Serve("/base/bad.pack", HttpResponse::Ok(DatabasePack("bad")));
        PublishCatalog(CatalogXml(Base(), {{"ok", "ok.pack"}, {name, "bad.pack"}}, {}));
        const size_t before = server.RequestCount();
        EXPECT_EQ(E_FAIL, RunKit(161));
        // initial.pack and the first database; the list names that one only.
        EXPECT_EQ(before + 2, server.RequestCount());
        EXPECT_EQ(IniLine("ok"), ReadWholeFile(target + "\\ZebDbLst.ini"));
    }
    // An initial.pack whose files would lie beside the list, in the target itself.
    for (const char* packName : {"", ".", "\\"}) {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        PackLayout beside;
        beside.packName = packName;
        beside.files.push_back(PackFile("ZebDbLst.ini", "#include = [St,Database\\x\\x.ini]\r\n"));
        server.Serve("/base/initial.pack", HttpResponse::Ok(BuildPack(beside)));
        EXPECT_EQ(E_FAIL, RunKit(161)) << packName;
        EXPECT_TRUE(ListTree(target).empty()) << packName;
    }
}

TEST_F(KitJob, CyrillicNamesAndDuplicatesAreListedAsTheCatalogueHoldsThem)
{
    server.Serve("/base/initial.pack", HttpResponse::Ok(DatabasePack("Bin")));
    server.Serve("/base/ru.pack", HttpResponse::Ok(DatabasePack("База")));
    PublishCatalog(CatalogXml(Base(), {{"База", "ru.pack"}, {"База", "ru.pack"}}, {}));
    ASSERT_EQ(S_OK, RunKit(163));
    // The name's code-page bytes, unchanged, in both places of both lines.
    EXPECT_EQ(IniLine("База") + IniLine("База"), ReadWholeFile(target + "\\ZebDbLst.ini"));
}

TEST_F(KitJob, AbortDuringInitialPackLeavesTheListAlone)
{
    PublishSampleKit();
    ASSERT_TRUE(WriteWholeFile(target + "\\ZebDbLst.ini", "from an earlier run"));
    CancelAtReport(1);
    ASSERT_EQ(E_ABORT, RunKit(161));
    EXPECT_EQ("from an earlier run", ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_EQ((std::vector<int>{0}), progress.Overall());
    EXPECT_FALSE(DirectoryExists(target + "\\Database"));
}

TEST_F(KitJob, AbortDuringTheSecondDatabaseListsOnlyTheFirstWhereThereWasNoList)
{
    PublishSampleKit();
    // initial.pack reports 4 counts above 0 (header, table, two files), "one" 4 more.
    CancelAtReport(4 + 4 + 2);
    ASSERT_EQ(E_ABORT, RunKit(161));
    EXPECT_EQ(IniLine("one"), ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), progress.Overall());
    EXPECT_FALSE(FileExists(target + "\\Database\\three\\data\\three.dat"));
    EXPECT_FALSE(FileExists(target + "\\ZebDbLst.ini.part"));
}

TEST_F(KitJob, AFailedRunKeepsAnEarlierListAndOtherwiseListsTheDatabasesDone)
{
    const std::string list = target + "\\ZebDbLst.ini";
    PublishSampleKit();
    server.Serve("/base/db/three.pack", HttpResponse::WithStatus("500 Internal Server Error"));
    HRESULT hr = RunKit(65);  // three, four
    EXPECT_TRUE(FAILED(hr));
    // No list before: one naming what was done, here nothing, closed so it can be read.
    EXPECT_EQ("", ReadWholeFile(list));
    EXPECT_EQ((std::vector<int>{0, 1}), progress.Overall());
    for (const HttpRequestRecord& request : server.Requests())
        EXPECT_NE("/base/db/four.pack", request.path);

    PublishSampleKit();
    server.Serve("/base/db/four.pack", HttpResponse::Ok(DatabasePack("four").substr(0, 400)));
    ASSERT_TRUE(DeleteFileA(list.c_str()));
    EXPECT_TRUE(FAILED(RunKit(65)));
    EXPECT_EQ(IniLine("three"), ReadWholeFile(list));

    // A rerun that fails leaves the list there was as it was.
    ASSERT_TRUE(WriteWholeFile(list, "from an earlier run"));
    EXPECT_TRUE(FAILED(RunKit(65)));
    EXPECT_EQ("from an earlier run", ReadWholeFile(list));
    EXPECT_FALSE(FileExists(list + ".part"));
}

TEST_F(KitJob, FailingInitialPackCreatesNoList)
{
    PublishSampleKit();
    server.Serve("/base/initial.pack", HttpResponse::WithStatus("404 Not Found"));
    EXPECT_TRUE(FAILED(RunKit(161)));
    EXPECT_FALSE(FileExists(target + "\\ZebDbLst.ini"));
    EXPECT_TRUE(ListTree(target).empty());
}
