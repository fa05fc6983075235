// Faults end to end through the dialog: broken answers, full and read-only disks, bad
// target paths. Each case states what the user sees and what is on disk afterwards.
#include "DialogFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "CancelToken.h"
#include "CatalogFetch.h"
#include "OfflineUpdateJob.h"
#include "PackWriter.h"
#include "ProgressRecorder.h"
#include "ReportedFreeSpace.h"
#include "ServerAccess.h"
#include "VolumeTimes.h"
#include "TestFiles.h"
#include "ToolProcess.h"
#include "DialogRun.h"
#include "WindowDriver.h"
#include "resource.h"

namespace {

// Everything below `root` except the subtree `exceptPrefix`.
std::vector<std::string> TreeOutside(const std::string& root, const std::string& exceptPrefix)
{
    std::vector<std::string> tree;
    for (const std::string& entry : ListTree(root)) {
        if (entry.compare(0, exceptPrefix.size(), exceptPrefix) != 0)
            tree.push_back(entry);
    }
    return tree;
}

class Faults : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        ASSERT_TRUE(WriteWholeFile(temp / "sentinel.txt", "untouched"));
        before = ListTree(temp.Path());
    }
    void TearDown() override
    {
        DialogFixture::TearDown();
        // Nothing outside the target folder changed.
        EXPECT_EQ(before, TreeOutside(temp.Path(), "kit\\"));
        EXPECT_EQ("untouched", ReadWholeFile(temp / "sentinel.txt"));
    }

    void PublishKit(const std::string& initialPack, std::vector<CatalogEntry> files = {})
    {
        server.Serve("/base/initial.pack", HttpResponse::Ok(initialPack));
        PackLayout database;
        database.packName = "db";
        database.files.push_back(PackFile("db.ini", "[db]"));
        server.Serve("/base/db.pack", HttpResponse::Ok(BuildPack(database)));
        PublishCatalog({{"db", "db.pack"}}, files);
    }

    static std::string BigPack(uint64_t size)
    {
        PackLayout layout;
        layout.packName = "Bin";
        layout.files.push_back(PackFile("small.txt", "first"));
        layout.files.push_back(PackFile("big.bin", GeneratedData(4, size)));
        return BuildPack(layout);
    }

    // Chooses `mode`, types `folder`, presses OK and answers a not-empty question with Yes.
    static void Start(WindowDriver& driver, int modeButton, const std::string& folder)
    {
        driver.Click(modeButton);
        driver.Type(IDC_TARGET_FOLDER, folder);
        driver.Click(IDOK);
    }

    // The user sees one box with `text`, then "Закрыть", which closes the dialog.
    static void ExpectJobErrorThenClose(WindowDriver& driver)
    {
        EXPECT_EQ(kDownloadErrorText, driver.WaitForBox());
        EXPECT_EQ("", driver.BoxCaption());
        driver.Answer(IDOK);
        EXPECT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
        EXPECT_FALSE(driver.BoxOpen());
        driver.Click(IDCANCEL);
        EXPECT_TRUE(driver.WaitClosed());
    }

    // A box with `text` and the dialog idle again (OK visible), then closed with Cancel.
    static void ExpectBoxAndIdle(WindowDriver& driver, const std::string& text)
    {
        EXPECT_EQ(text, driver.WaitForBox());
        driver.Answer(IDOK);
        EXPECT_TRUE(driver.IsVisible(IDOK));
        // The choice comes back once OnOK has returned from the box.
        EXPECT_TRUE(driver.WaitUntil([&] { return driver.IsEnabled(IDC_TARGET_FOLDER); }));
        driver.Click(IDCANCEL);
        EXPECT_TRUE(driver.WaitClosed());
    }

    std::vector<std::string> before;
};

// The drives the wrapper script maps: a 1 MiB disk and a read-only one.
std::string DriveOrSkipReason(const char* variable)
{
    const char* drive = getenv(variable);
    return drive ? drive : "";
}

}  // namespace

TEST_F(Faults, ConnectionClosedInThePackShowsTheErrorAndKeepsWhatArrived)
{
    std::string pack = BigPack(3 << 20);
    PublishKit(pack);
    HttpResponse cut = HttpResponse::Ok(pack);
    cut.closeAfterBytes = static_cast<long long>(pack.size() / 2);
    server.Serve("/base/initial.pack", cut);
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, target);
        ExpectJobErrorThenClose(driver);
    });
    EXPECT_EQ("first", ReadWholeFile(target + "\\Bin\\small.txt"));
    std::string partial = ReadWholeFile(target + "\\Bin\\big.bin");
    EXPECT_LT(partial.size(), static_cast<size_t>(3 << 20));
    EXPECT_EQ(GeneratedData(4, partial.size()), partial);
    EXPECT_FALSE(FileExists(target + "\\ZebDbLst.ini"));
}

TEST_F(Faults, CatalogueCutShortShowsTheErrorAndTheDialogStaysIdle)
{
    PublishKit(BigPack(10));
    HttpResponse cut = HttpResponse::Ok(CatalogXml(server.Url("/base"), {{"db", "db.pack"}}, {}), "text/xml");
    cut.closeAfterBytes = 40;
    server.Serve(kCatalogPath, cut);
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, target);
        ExpectBoxAndIdle(driver, kDownloadErrorText);
    });
    // The folder was made before the fetch and stays, empty.
    EXPECT_TRUE(DirectoryExists(target));
    EXPECT_TRUE(ListTree(target).empty());
}

TEST_F(Faults, PlainFileShorterThanItsLengthFailsTheOfflineUpdate)
{
    PublishKit(BigPack(10), {{"notes", "notes.txt"}});
    HttpResponse cut = HttpResponse::Ok("0123456789abcdef");
    cut.closeAfterBytes = 6;
    server.Serve("/base/notes.txt", cut);
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_OFFLINE_UPDATE, target);
        ExpectJobErrorThenClose(driver);
    });
    EXPECT_EQ((std::vector<std::string>{"latest.xml", "notes.txt"}), ListTree(target));
    EXPECT_EQ("012345", ReadWholeFile(target + "\\notes.txt"));
}

TEST_F(Faults, ServerErrorForADatabaseStopsAfterTheExecutables)
{
    PublishKit(BigPack(10));
    server.Serve("/base/db.pack", HttpResponse::WithStatus("500 Internal Server Error"));
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, target);
        ExpectJobErrorThenClose(driver);
    });
    EXPECT_EQ("", ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_TRUE(FileExists(target + "\\Bin\\big.bin"));
    EXPECT_FALSE(DirectoryExists(target + "\\Database"));
}

TEST_F(Faults, TargetPathsThatCannotBeFolders)
{
    ASSERT_TRUE(WriteWholeFile(temp / "kitfile", "a file"));
    before = ListTree(temp.Path());
    PublishKit(BigPack(10));
    const std::string fileInTheWay = temp / "kitfile\\sub";
    std::string tooLong = target + "\\";
    while (tooLong.size() < MAX_PATH)
        tooLong += "x";
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, fileInTheWay);
        EXPECT_EQ("Невозможно создать папку " + fileInTheWay, driver.WaitForBox());
        driver.Answer(IDOK);
        // 260 characters: refused before anything is made.
        driver.Type(IDC_TARGET_FOLDER, tooLong);
        driver.Click(IDOK);
        EXPECT_EQ("Невозможно создать папку " + tooLong, driver.WaitForBox());
        driver.Answer(IDOK);
        driver.Type(IDC_TARGET_FOLDER, "Q:\\kit");
        driver.Click(IDOK);
        EXPECT_EQ("Невозможно создать папку Q:\\kit", driver.WaitForBox());
        driver.Answer(IDOK);
        EXPECT_TRUE(driver.IsVisible(IDOK));
    });
    EXPECT_EQ("a file", ReadWholeFile(temp / "kitfile"));
    EXPECT_FALSE(DirectoryExists(target));
    EXPECT_EQ(0u, server.RequestCount());
}

TEST_F(Faults, TargetOf259CharactersIsMadeButItsFilesCannotBe)
{
    PublishKit(BigPack(10));
    std::string longest = target + "\\";
    while (longest.size() < MAX_PATH - 1)
        longest += "y";
    ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), longest.size());
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, longest);
        ExpectJobErrorThenClose(driver);
    });
    // The folder exists; no file fits below it, so nothing was written.
    EXPECT_TRUE(DirectoryExists(longest));
    EXPECT_TRUE(ListTree(longest).empty());
}

TEST_F(Faults, AFullDiskIsToldBeforeThePackAndOneThatFillsUpAnywayKeepsWhatFitted)
{
    std::string drive = DriveOrSkipReason("ZEB_SMALL_DRIVE");
    if (drive.empty())
        GTEST_SKIP() << (getenv("ZEB_DRIVES_SKIPPED") ? getenv("ZEB_DRIVES_SKIPPED") : "no small drive mapped");
    std::string smallTarget = drive + "\\kit";
    PublishKit(BigPack(3 << 20));  // three times the size of the disk
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, smallTarget);
        ExpectJobErrorThenClose(driver);
    });
    EXPECT_EQ((std::vector<std::string>{"kit\\"}), ListTree(drive));

    // Another program takes the room after the check: the writes find the disk full.
    ReportedFreeSpace roomThatGoes(1ull << 40);
    DownloadDialog again;
    again.retrySettings = dialog.retrySettings;
    RunDialog(again, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, smallTarget);
        ExpectJobErrorThenClose(driver);
    });
    EXPECT_EQ("first", ReadWholeFile(smallTarget + "\\Bin\\small.txt"));
    std::string partial = ReadWholeFile(smallTarget + "\\Bin\\big.bin");
    EXPECT_LT(partial.size(), static_cast<size_t>(3 << 20));
    EXPECT_EQ(GeneratedData(4, partial.size()), partial);
    EXPECT_FALSE(FileExists(smallTarget + "\\ZebDbLst.ini"));
    EXPECT_EQ((std::vector<std::string>{"kit\\", "kit\\Bin\\", "kit\\Bin\\big.bin", "kit\\Bin\\small.txt"}),
              ListTree(drive));
}

TEST_F(Faults, ReadOnlyDiskRefusesTheFolderOrTheFiles)
{
    std::string drive = DriveOrSkipReason("ZEB_READONLY_DRIVE");
    if (drive.empty())
        GTEST_SKIP() << (getenv("ZEB_DRIVES_SKIPPED") ? getenv("ZEB_DRIVES_SKIPPED") : "no read-only drive mapped");
    PublishKit(BigPack(10));
    RunDialog(dialog, [&](WindowDriver& driver) {
        // A new folder cannot be made there.
        Start(driver, IDC_KIT_KRESPA, drive + "\\kit");
        EXPECT_EQ("Невозможно создать папку " + drive + "\\kit", driver.WaitForBox());
        driver.Answer(IDOK);
        // The drive's root exists and is empty: the fetch works, the first file fails.
        driver.Type(IDC_TARGET_FOLDER, drive + "\\");
        driver.Click(IDOK);
        ExpectJobErrorThenClose(driver);
    });
    EXPECT_TRUE(ListTree(drive).empty());
}

namespace {

// While it lives, every volume is named as Windows names a FAT32 stick. Wine 8 names every
// volume mounted through FUSE "NTFS" (docs/wine-volumes.md), so the test names it as Windows does.
struct NamedFat32 {
    NamedFat32() { QueryVolumeInformation = &Query; }
    ~NamedFat32() { QueryVolumeInformation = GetVolumeInformationByHandleW; }
    static BOOL WINAPI Query(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR fileSystem, DWORD size)
    {
        return lstrcpynW(fileSystem, L"FAT32", static_cast<int>(size)) != NULL;
    }
};

}  // namespace

// A USB stick: FAT32 keeps times to 2 s, so a file dated to an odd second reads back a
// second earlier, and the volume (through FUSE, as some shares) reports a total size of 0.
TEST_F(Faults, AnOfflineUpdateOnAFat32StickIsKeptWholeByTheNextRun)
{
    std::string drive = DriveOrSkipReason("ZEB_FAT32_DRIVE");
    if (drive.empty())
        GTEST_SKIP() << (getenv("ZEB_FAT32_SKIPPED") ? getenv("ZEB_FAT32_SKIPPED") : "no FAT32 drive mapped");
    NamedFat32 stickNamed;
    const std::vector<std::string> bodies = {GeneratedData(1, 300000), BigPack(200000)};
    const std::vector<std::string> paths = {"update.exe", "db.pack"};
    for (size_t i = 0; i < paths.size(); ++i) {
        HttpResponse response = HttpResponse::Ok(bodies[i]);
        response.lastModified = "Tue, 01 Dec 2026 10:00:0" + std::to_string(2 * i + 1) + " GMT";
        server.Serve("/base/" + paths[i], response);
    }
    PublishCatalog({{"db", "db.pack"}}, {{"update", "update.exe"}});
    CancelToken cancel;
    ProgressRecorder progress;
    HINTERNET session = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
    const TransferEnv env = {session, cancel, progress, QuickRetry()};
    UpdateCatalog catalog;
    ASSERT_EQ(S_OK, FetchAndParseCatalog(env, catalogUrl.c_str(), &catalog));
    const std::string stick = drive + "\\update";
    ASSERT_TRUE(CreateDirectoryA(stick.c_str(), NULL));
    ASSERT_EQ(S_OK, RunOfflineUpdate(env, catalog, stick.c_str()));
    // The stick keeps the first file's time a second early: an exact comparison would
    // take it for another version.
    const FILETIME written = LastWriteTime(stick + "\\update.exe");
    SYSTEMTIME kept = {};
    FileTimeToSystemTime(&written, &kept);
    EXPECT_EQ(0, kept.wSecond);
    const long long sent = server.BodyBytesSent();
    const size_t requests = server.RequestCount();
    const HRESULT rerun = RunOfflineUpdate(env, catalog, stick.c_str());
    InternetCloseHandle(session);
    ASSERT_EQ(S_OK, rerun);
    // The file's last byte, the pack's header and table (two entries), and nothing else.
    EXPECT_EQ(requests + 3, server.RequestCount());
    EXPECT_EQ(1 + 308 + 2 * 284, server.BodyBytesSent() - sent);
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(bodies[i], ReadWholeFile(stick + "\\" + paths[i]));
    RemoveTree(stick);
}

// A server that stops answering in the middle of a body blocks the read for ever under
// Wine; after the user confirms the abort the program must still end, keeping every
// finished file whole. The whole program runs here, since only a process can show that.
class StalledServer : public Faults {
protected:
    // Drives the tool to `modeButton`, waits for the stall (and, when named, for the file
    // the tool writes when the stall comes), then Cancel and "Да". The server stalls once
    // it has sent its bytes, which a slow client (an emulated one) may not have unpacked yet.
    void RunUntilStallThenAbort(int modeButton, const std::string& fileAtTheStall = "")
    {
        ToolProcess tool;
        WindowDriver driver(tool.Start(catalogUrl));
        ASSERT_TRUE(driver.Dialog());
        Start(driver, modeButton, target);
        ASSERT_TRUE(driver.WaitUntil([&] {
            return server.StalledCount() > 0 && (fileAtTheStall.empty() || FileExists(fileAtTheStall));
        }));
        driver.Click(IDCANCEL);
        EXPECT_EQ("Прервать загрузку?", driver.WaitForBox());
        driver.Answer(IDYES);
        // Far above the second the program allows the worker, far below "never".
        EXPECT_TRUE(tool.WaitForExit(15000));
    }

    static HttpResponse Stalling(const std::string& body, size_t after)
    {
        HttpResponse response = HttpResponse::Ok(body);
        response.stallAfterBytes = static_cast<long long>(after);
        return response;
    }
};

TEST_F(StalledServer, InTheSecondDatabaseTheProgramEndsAndTheListNamesTheFirst)
{
    PublishKit(BigPack(10));
    PackLayout second;
    second.packName = "db2";
    second.files.push_back(PackFile("db2.ini", "[db2]"));
    second.files.push_back(PackFile("big.bin", GeneratedData(5, 1 << 20)));
    std::string pack = BuildPack(second);
    server.Serve("/base/db2.pack", Stalling(pack, pack.size() - 1000));
    PublishCatalog({{"db", "db.pack"}, {"db2", "db2.pack"}});
    RunUntilStallThenAbort(IDC_KIT_KRESPA, target + "\\Database\\db2\\big.bin");
    EXPECT_EQ("first", ReadWholeFile(target + "\\Bin\\small.txt"));
    EXPECT_EQ(GeneratedData(4, 10), ReadWholeFile(target + "\\Bin\\big.bin"));
    EXPECT_EQ("[db]", ReadWholeFile(target + "\\Database\\db\\db.ini"));
    EXPECT_EQ("[db2]", ReadWholeFile(target + "\\Database\\db2\\db2.ini"));
    EXPECT_TRUE(FileExists(target + "\\Database\\db2\\big.bin"));
    // The program ended at once, the worker still in its read: the list, which had no
    // earlier one, names the database complete by then.
    EXPECT_EQ("#include = [St,Database\\db\\db.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini"));
}

TEST_F(StalledServer, InAnOfflineFileTheProgramEndsAndFinishedFilesStayWhole)
{
    PublishKit(BigPack(10), {{"first", "first.bin"}, {"second", "second.bin"}});
    server.Serve("/base/first.bin", HttpResponse::Ok("first file"));
    server.Serve("/base/second.bin", Stalling(GeneratedData(6, 300000), 200000));
    RunUntilStallThenAbort(IDC_OFFLINE_UPDATE);
    EXPECT_EQ("first file", ReadWholeFile(target + "\\first.bin"));
    EXPECT_TRUE(FileExists(target + "\\latest.xml"));
    EXPECT_TRUE(FileExists(target + "\\second.bin"));
}

TEST_F(Faults, APackThatDropsOnceEndsAsACleanDownloadWithoutABox)
{
    std::string pack = BigPack(3 << 20);
    PublishKit(pack);
    HttpResponse dropping = HttpResponse::Ok(pack);
    dropping.etag = "\"initial-1\"";
    dropping.closeAfterBytes = static_cast<long long>(pack.size() / 2);
    dropping.faultyAnswers = 1;
    server.Serve("/base/initial.pack", dropping);
    RunDialog(dialog, [&](WindowDriver& driver) {
        Start(driver, IDC_KIT_KRESPA, target);
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
        EXPECT_FALSE(driver.BoxOpen());
        driver.Click(IDCANCEL);
        EXPECT_TRUE(driver.WaitClosed());
    });
    EXPECT_EQ("first", ReadWholeFile(target + "\\Bin\\small.txt"));
    EXPECT_EQ(GeneratedData(4, 3 << 20), ReadWholeFile(target + "\\Bin\\big.bin"));
    EXPECT_EQ("[db]", ReadWholeFile(target + "\\Database\\db\\db.ini"));
    EXPECT_EQ("#include = [St,Database\\db\\db.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini"));
}

// The catalogue is fetched off the dialog's thread: a stalled server leaves the window
// answering, Cancel needs no question (nothing was downloaded) and the program ends
// even though the abandoned read never returns under Wine.
TEST_F(StalledServer, ACatalogueThatStallsLeavesTheDialogAnsweringAndCancelReturnsToIdle)
{
    PublishKit(BigPack(10));
    HttpResponse stalling = Stalling(CatalogXml(server.Url("/base"), {{"db", "db.pack"}}, {}), 100);
    stalling.headers.emplace_back("Content-Type", "text/xml");
    server.Serve(kCatalogPath, stalling);
    ToolProcess tool;
    WindowDriver driver(tool.Start(catalogUrl));
    ASSERT_TRUE(driver.Dialog());
    Start(driver, IDC_KIT_KRESPA, target);
    ASSERT_TRUE(driver.WaitUntil([&] { return server.StalledCount() > 0; }));
    DWORD_PTR answer = 0;
    EXPECT_NE(0, SendMessageTimeoutA(driver.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
    EXPECT_FALSE(driver.IsEnabled(IDC_TARGET_FOLDER));
    driver.Click(IDCANCEL);
    EXPECT_TRUE(driver.WaitUntil([&] { return driver.IsVisible(IDOK) && driver.IsEnabled(IDC_TARGET_FOLDER); },
                                 3000));
    EXPECT_FALSE(driver.BoxOpen()) << driver.TakeBox();
    EXPECT_TRUE(driver.IsChecked(IDC_KIT_KRESPA));
    driver.Click(IDCANCEL);
    EXPECT_TRUE(tool.WaitForExit(15000));
    EXPECT_TRUE(ListTree(target).empty());
}
