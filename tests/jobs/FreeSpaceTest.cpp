// An item that the target's volume has no room for fails before its bytes are fetched;
// a rerun counts only what is still missing.
#include "JobTestSupport.h"
#include "PackFormat.h"
#include "ReportedFreeSpace.h"

namespace {

class FreeSpace : public JobTest {
protected:
    HRESULT RunKit() { return JobTest::RunKit(65); }
    HRESULT RunOffline() { return RunOfflineUpdate(); }
};

}  // namespace

TEST_F(FreeSpace, APackLargerThanTheFreeSpaceFailsBeforeItsDataAndARerunNeedingLessPasses)
{
    server.Serve("/base/initial.pack", HttpResponse::Ok(DatabasePack("Bin")));
    PackLayout big;
    big.packName = "big";
    big.files.push_back(PackFile("a.dat", GeneratedData(1, 6000)));
    big.files.push_back(PackFile("b.dat", GeneratedData(2, 6000)));
    HttpResponse bigPack = HttpResponse::Ok(BuildPack(big));
    bigPack.etag = "\"big\"";
    server.Serve("/base/big.pack", bigPack);
    PublishCatalog(CatalogXml(Base(), {{"big", "big.pack"}}, {}));
    const std::vector<std::string> executables = {"Bin\\", "Bin\\Bin.ini", "Bin\\data\\", "Bin\\data\\Bin.dat"};

    ReportedFreeSpace room(10000);
    EXPECT_EQ(E_FAIL, RunKit());
    // initial.pack is in; of the big pack only its header and table were read.
    std::vector<std::string> expected = executables;
    expected.push_back("ZebDbLst.ini");
    EXPECT_EQ(expected, ListTree(target));
    ASSERT_EQ("big", progress.Captions().back());
    EXPECT_GE(sizeof(PackHeader) + 2 * sizeof(PackEntry), progress.AllBytes().back().done);

    // One file of the pack is there already: the other one fits.
    ASSERT_TRUE(CreateDirectoryA((target + "\\Database").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((target + "\\Database\\big").c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(target + "\\Database\\big\\a.dat", big.files[0].data));
    EXPECT_EQ(S_OK, RunKit());
    EXPECT_EQ(big.files[1].data, ReadWholeFile(target + "\\Database\\big\\b.dat"));
    EXPECT_EQ("#include = [St,Database\\big\\big.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini"));
}

TEST_F(FreeSpace, TheCatalogueAndAPlainFileFailBeforeTheyAreWrittenAndAContinuedFileNeedsOnlyItsRest)
{
    const std::string stamp = "Tue, 01 Dec 2026 10:00:00 GMT";
    const std::string first = GeneratedData(3, 100);
    const std::string large = GeneratedData(4, 20000);
    server.Serve("/base/first.txt", HttpResponse::Ok(first));
    HttpResponse largeFile = HttpResponse::Ok(large);
    largeFile.lastModified = stamp;
    server.Serve("/base/large.bin", largeFile);
    PublishCatalog(CatalogXml(Base(), {}, {{"first", "first.txt"}, {"large", "large.bin"}}));
    const size_t catalogRequests = server.RequestCount();

    ReportedFreeSpace room(catalogText.size() - 1);
    EXPECT_EQ(E_FAIL, RunOffline());
    EXPECT_TRUE(ListTree(target).empty());
    EXPECT_EQ(catalogRequests, server.RequestCount());

    room.Set(10000);
    EXPECT_EQ(E_FAIL, RunOffline());
    EXPECT_EQ((std::vector<std::string>{"first.txt", "latest.xml"}), ListTree(target));
    EXPECT_EQ(first, ReadWholeFile(target + "\\first.txt"));

    // A volume that says its total size is 0 (a FUSE volume, some shares) tells nothing:
    // the writes decide.
    room.Set(0);
    room.SetTotal(0);
    EXPECT_EQ(S_OK, RunOffline());
    EXPECT_EQ(large, ReadWholeFile(target + "\\large.bin"));
    room.SetTotal(10000);
    room.Set(10000);
    ASSERT_TRUE(DeleteFileA((target + "\\large.bin").c_str()));

    // Three quarters of it stored by an earlier run, with the server's time.
    const std::string largePath = target + "\\large.bin";
    ASSERT_TRUE(WriteWholeFile(largePath, large.substr(0, 15000)));
    SYSTEMTIME serverTime = {2026, 12, 2, 1, 10, 0, 0, 0};
    FILETIME stored;
    SystemTimeToFileTime(&serverTime, &stored);
    HANDLE file = CreateFileA(largePath.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFileTime(file, NULL, NULL, &stored);
    CloseHandle(file);
    EXPECT_EQ(S_OK, RunOffline());
    EXPECT_EQ(large, ReadWholeFile(largePath));
    EXPECT_EQ("bytes=14999-", server.Requests().back().Header("Range"));
}
