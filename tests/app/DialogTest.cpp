#include "DialogFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "PackWriter.h"
#include "TaskbarRecorder.h"
#include "TestAllocator.h"
#include "TestFiles.h"
#include "DialogRun.h"
#include "WindowDriver.h"
#include "resource.h"

namespace {

std::string ArtifactPath(const std::string& name)
{
    CreateDirectoryA("artifacts", NULL);
    return "artifacts\\" + name;
}

class DialogFlow : public DialogFixture {
protected:
    // The target folder as a user may type it: forward slashes and a trailing one.
    std::string TypedTarget() const
    {
        std::string typed = target + "/";
        std::replace(typed.begin(), typed.end(), '\\', '/');
        return typed;
    }

    // A kit of initial.pack and two databases; `delayMs` between 64 KiB pieces slows
    // each pack down so that a run can be watched and cancelled.
    void PublishKit(int delayMs = 0)
    {
        // Sixteen files, so the item bar moves many times while the pack arrives.
        PackLayout executables;
        executables.packName = "Bin";
        for (int i = 0; i < 16; ++i)
            executables.files.push_back(PackFile("file" + std::to_string(i) + ".bin", GeneratedData(i, 128 << 10)));
        initialPack = BuildPack(executables);
        HttpResponse initial = HttpResponse::Ok(initialPack);
        initial.etag = "\"initial\"";
        if (delayMs) {
            initial.pieceSize = 16 << 10;
            initial.pieceDelayMs = delayMs;
        }
        server.Serve("/base/initial.pack", initial);
        for (const char* name : {"one", "two"}) {
            PackLayout database;
            database.packName = name;
            database.files.push_back(PackFile(std::string(name) + ".ini", "[db]"));
            HttpResponse pack = HttpResponse::Ok(BuildPack(database));
            pack.etag = std::string("\"") + name + "\"";
            server.Serve(std::string("/base/") + name + ".pack", pack);
        }
        PublishCatalog({{"one", "one.pack", "161"}, {"two", "two.pack", "65"}});
    }

    std::string initialPack;
};

}  // namespace

TEST_F(DialogFlow, OpensWithItsControlsInTabOrderAndNothingChosen)
{
    const struct {
        int id;
        const char* className;
        const char* text;  // null: not compared (the bars)
    } expected[] = {
        {11001, "Button", "Комплект \"Тэлми\""},
        {11002, "Button", "Комплект \"Варно\""},
        {11003, "Button", "Комплект \"Брисс\""},
        {11004, "Button", "Комплект \"Ломта\""},
        {1009, "Button", "Комплект \"Креспа\""},
        {1002, "Button", "Файлы для офлайн-обновления"},
        {0xFFFF, "Static", "Сохранить в:"},
        {1003, "Edit", ""},
        {1004, "Button", "..."},
        {1007, "Static", ""},
        {1005, "msctls_progress32", nullptr},
        {1008, "Static", ""},
        {1006, "msctls_progress32", nullptr},
        {1, "Button", "OK"},
        {2, "Button", "Отмена"},
    };
    RunDialog(dialog, [&](WindowDriver& driver) {
        char title[128] = "";
        GetWindowTextA(driver.Dialog(), title, sizeof(title));
        EXPECT_STREQ("Скачать для УЛВО-офлайн", title);
        EXPECT_EQ(WS_EX_APPWINDOW, GetWindowLongA(driver.Dialog(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
        HWND child = GetWindow(driver.Dialog(), GW_CHILD);
        for (const auto& control : expected) {
            ASSERT_NE(nullptr, child);
            EXPECT_EQ(control.id, GetDlgCtrlID(child) & 0xFFFF);
            char className[64] = "";
            GetClassNameA(child, className, sizeof(className));
            EXPECT_STRCASEEQ(control.className, className) << control.id;
            if (control.text) {
                char text[128] = "";
                GetWindowTextA(child, text, sizeof(text));
                EXPECT_STREQ(control.text, text) << control.id;
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(nullptr, child);
        // The template's font, 8 points of "MS Sans Serif".
        LOGFONTA font = {};
        ASSERT_NE(0, GetObjectA(reinterpret_cast<HFONT>(SendMessageA(driver.Dialog(), WM_GETFONT, 0, 0)),
                                sizeof(font), &font));
        EXPECT_STREQ("MS Sans Serif", font.lfFaceName);
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), font.lfHeight);
        ReleaseDC(nullptr, screen);
        // At start: nothing checked, empty folder with the focus, bars at 0.
        for (int id : {11001, 11002, 11003, 11004, 1009, 1002})
            EXPECT_EQ(BST_UNCHECKED, SendMessageA(driver.Control(id), BM_GETCHECK, 0, 0)) << id;
        EXPECT_EQ(0, driver.Position(IDC_ITEM_PROGRESS));
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof(gui);
        GetGUIThreadInfo(GetWindowThreadProcessId(driver.Dialog(), nullptr), &gui);
        EXPECT_EQ(driver.Control(IDC_TARGET_FOLDER), gui.hwndFocus);
        driver.SaveScreenshot(ArtifactPath("dialog-idle.bmp"));

        // A path typed key by key keeps going past the field's right edge.
        const std::string longPath = "C:\\" + std::string(200, 'x');
        for (char key : longPath)
            SendMessageA(driver.Control(IDC_TARGET_FOLDER), WM_CHAR, static_cast<BYTE>(key), 1);
        EXPECT_EQ(longPath, driver.Text(IDC_TARGET_FOLDER));
    });
}

TEST_F(DialogFlow, InputChecksShowTheirBoxesInOrder)
{
    ASSERT_TRUE(WriteWholeFile(temp / "a-file", "x"));
    RunDialog(dialog, [&](WindowDriver& driver) {
        driver.Click(IDOK);
        EXPECT_EQ("Выберите режим", driver.WaitForBox());
        EXPECT_EQ("", driver.BoxCaption());
        driver.Answer(IDOK);

        driver.Type(IDC_TARGET_FOLDER, temp.Path());
        driver.PressEnter();
        EXPECT_EQ("Выберите режим", driver.WaitForBox());
        driver.Answer(IDOK);

        driver.Click(IDC_KIT_KRESPA);
        driver.Type(IDC_TARGET_FOLDER, "");
        driver.Click(IDOK);
        EXPECT_EQ("Выберите папку для скачивания", driver.WaitForBox());
        driver.Answer(IDOK);
        EXPECT_EQ(4, dialog.mode);  // the fifth button of the group, id 1009

        driver.Click(IDC_OFFLINE_UPDATE);
        driver.Type(IDC_TARGET_FOLDER, temp / "a-file");
        driver.Click(IDOK);
        EXPECT_EQ("Невозможно создать папку " + (temp / "a-file"), driver.WaitForBox());
        driver.Answer(IDOK);
        EXPECT_EQ(5, dialog.mode);  // id 1002

        // Not empty: the question, answered No, fetches nothing.
        driver.Type(IDC_TARGET_FOLDER, temp.Path() + "/");
        driver.Click(IDOK);
        EXPECT_EQ("Папка " + temp.Path() +
                      " непустая, существующие файлы могут быть перезаписаны.\rСкачать файлы в эту папку?",
                  driver.WaitForBox());
        driver.Answer(IDNO);
        EXPECT_FALSE(driver.BoxOpen());
        EXPECT_TRUE(driver.IsVisible(IDOK));
    });
    EXPECT_EQ(0u, server.RequestCount());
}

// The shell's own dialog, driven through its tree. It starts in the Windows folder, which
// every prefix has and nothing changes: Wine's walk down the tree to the selection stops
// at the temporary folder in about a third of the runs (measured), so a fresh folder
// below it cannot be the start.
TEST_F(DialogFlow, BrowseStartsAtTheTypedFolderAndReturnsTheChosenOne)
{
    char windows[MAX_PATH] = "";
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::string start = std::string(windows) + "\\Fonts";
    const auto itemText = [](HWND tree, HTREEITEM item) {
        char text[MAX_PATH] = "";
        TVITEMA request = {};
        request.mask = TVIF_TEXT;
        request.hItem = item;
        request.pszText = text;
        request.cchTextMax = sizeof(text);
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&request));
        return std::string(text);
    };
    RunDialog(dialog, [&](WindowDriver& driver) {
        driver.Type(IDC_TARGET_FOLDER, start);
        driver.Click(IDC_BROWSE_FOLDER);
        driver.WaitForBox();
        HWND browser = driver.Box();
        ASSERT_NE(nullptr, browser);
        EXPECT_NE(nullptr, FindWindowExA(browser, nullptr, "Static", "Выберите папку"));
        HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
        ASSERT_NE(nullptr, tree);
        HTREEITEM selected = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        ASSERT_NE(nullptr, selected);
        EXPECT_STRCASEEQ("Fonts", itemText(tree, selected).c_str());

        // The user picks the folder above and confirms.
        HTREEITEM parent = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT,
                                                                    reinterpret_cast<LPARAM>(selected)));
        ASSERT_NE(nullptr, parent);
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent));
        driver.Answer(IDOK);
        driver.WaitUntil([&] { return driver.Text(IDC_TARGET_FOLDER) != start; }, 10000);
        EXPECT_STRCASEEQ(windows, driver.Text(IDC_TARGET_FOLDER).c_str());
    });
}

TEST_F(DialogFlow, FailedFetchThenWholeRunToClose)
{
    server.Serve(kCatalogPath, HttpResponse::WithStatus("500 Internal Server Error"));
    const std::string typed = TypedTarget();
    INT_PTR result = RunDialog(dialog, [&](WindowDriver& driver) {
        driver.Click(IDC_KIT_TELMI);
        driver.Type(IDC_TARGET_FOLDER, typed);
        driver.Click(IDOK);
        EXPECT_EQ(kDownloadErrorText, driver.WaitForBox());
        driver.Answer(IDOK);
        EXPECT_TRUE(driver.IsVisible(IDOK));
        EXPECT_TRUE(DirectoryExists(target));
        // Back to idle, the field holds what was typed.
        EXPECT_EQ(typed, driver.Text(IDC_TARGET_FOLDER));

        // Again: the folder made the first time is empty, so no question. The taskbar
        // button that the shell offers here (Wine's) changes nothing in the run.
        PublishKit();
        TaskbarRecorder::Announce(driver.Dialog());
        driver.Click(IDOK);
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
        EXPECT_FALSE(driver.BoxOpen());
        EXPECT_FALSE(driver.IsVisible(IDOK));
        for (int id : {11001, 1002, 1003, 1004})
            EXPECT_FALSE(driver.IsEnabled(id)) << id;
        EXPECT_EQ(2, SendMessageA(driver.Dialog(), DM_GETDEFID, 0, 0) & 0xFFFF);
        driver.SaveScreenshot(ArtifactPath("dialog-finished.bmp"));
        // Enter now closes, without a question.
        driver.PressEnter();
        EXPECT_TRUE(driver.WaitClosed());
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ("#include = [St,Database\\one\\one.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_EQ(2u, CatalogRequests());
}

TEST_F(DialogFlow, CancelDuringARunAnsweredNoThenYes)
{
    PublishKit(50);
    TaskbarRecorder taskbar;
    RunDialog(dialog, [&](WindowDriver& driver) {
        TaskbarRecorder::Announce(driver.Dialog());
        driver.Click(IDC_KIT_TELMI);
        driver.Type(IDC_TARGET_FOLDER, target);
        driver.Click(IDOK);
        ASSERT_TRUE(driver.WaitUntil([&] { return !driver.IsVisible(IDOK); }));
        driver.SaveScreenshot(ArtifactPath("dialog-running.bmp"));

        // Enter during the run must not reach a second start.
        driver.PressEnter();
        driver.Click(IDCANCEL);
        EXPECT_EQ("Прервать загрузку?", driver.WaitForBox());
        // The job goes on while the question is open.
        LRESULT before = driver.Position(IDC_ITEM_PROGRESS);
        EXPECT_TRUE(driver.WaitUntil([&] { return driver.Position(IDC_ITEM_PROGRESS) > before; }));
        driver.Answer(IDNO);
        EXPECT_FALSE(dialog.abortRequested.IsCancelled());

        driver.PressEscape();
        EXPECT_EQ("Прервать загрузку?", driver.WaitForBox());
        driver.Answer(IDYES);
        EXPECT_TRUE(driver.WaitClosed());
    });
    EXPECT_EQ(1u, CatalogRequests());
    EXPECT_FALSE(FileExists(target + "\\ZebDbLst.ini"));
    EXPECT_EQ((std::vector<TBPFLAG>{TBPF_NORMAL, TBPF_NOPROGRESS}), taskbar.States());
}

TEST_F(DialogFlow, YesAfterTheJobEndedUnderTheQuestionClosesNothing)
{
    PublishKit(10);
    RunDialog(dialog, [&](WindowDriver& driver) {
        driver.Click(IDC_KIT_TELMI);
        driver.Type(IDC_TARGET_FOLDER, target);
        driver.Click(IDOK);
        ASSERT_TRUE(driver.WaitUntil([&] { return !driver.IsVisible(IDOK); }));
        driver.Click(IDCANCEL);
        EXPECT_EQ("Прервать загрузку?", driver.WaitForBox());
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
        driver.Answer(IDYES);
        Sleep(300);
        EXPECT_TRUE(IsWindow(driver.Dialog()));
        driver.Click(IDCANCEL);
        EXPECT_TRUE(driver.WaitClosed());
        EXPECT_FALSE(driver.BoxOpen());
    });
    EXPECT_TRUE(FileExists(target + "\\ZebDbLst.ini"));
}

TEST_F(DialogFlow, TheTaskbarButtonFollowsTheRunPausedDuringARetryWaitAndRedUntilTheFailureIsAnswered)
{
    PublishKit();
    // initial.pack drops once halfway, and the kit's database is missing.
    HttpResponse dropping = HttpResponse::Ok(initialPack);
    dropping.etag = "\"initial\"";
    dropping.closeAfterBytes = static_cast<long long>(initialPack.size() / 2);
    dropping.faultyAnswers = 1;
    server.Serve("/base/initial.pack", dropping);
    server.Serve("/base/one.pack", HttpResponse::WithStatus("404 Not Found"));
    TaskbarRecorder taskbar;
    RunDialog(dialog, [&](WindowDriver& driver) {
        // Only once the shell says the button exists is it asked for.
        driver.Click(IDC_KIT_TELMI);
        driver.Type(IDC_TARGET_FOLDER, target);
        EXPECT_TRUE(taskbar.Opened().empty());
        TaskbarRecorder::Announce(driver.Dialog());
        EXPECT_EQ(std::vector<HWND>{driver.Dialog()}, taskbar.Opened());

        driver.Click(IDOK);
        EXPECT_EQ(kDownloadErrorText, driver.WaitForBox());
        EXPECT_EQ(TBPF_ERROR, taskbar.States().back());
        // The value reaches the overall bar's: initial.pack done, one of two.
        EXPECT_TRUE(driver.WaitUntil([&] {
            return !taskbar.Values().empty() && taskbar.Values().back() == TaskbarRecorder::Value{1, 2};
        }));
        driver.Answer(IDOK);
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
        driver.Click(IDCANCEL);
        EXPECT_TRUE(driver.WaitClosed());
    });
    EXPECT_EQ((std::vector<TBPFLAG>{TBPF_NORMAL, TBPF_PAUSED, TBPF_NORMAL, TBPF_ERROR, TBPF_NOPROGRESS}),
              taskbar.States());
    // Never backwards: each value is at least the share of the one before.
    std::vector<TaskbarRecorder::Value> values = taskbar.Values();
    for (size_t i = 1; i < values.size(); ++i)
        EXPECT_GE(values[i].completed * values[i - 1].total, values[i - 1].completed * values[i].total) << i;
}

TEST_F(DialogFlow, InputDuringASlowFetchChangesNothing)
{
    PublishKit();
    const std::string catalog = CatalogXml(server.Url("/base"), {{"one", "one.pack", "161"}, {"two", "two.pack", "65"}}, {});
    // About a second for the catalogue, during which the user clicks and pastes.
    server.Serve(kCatalogPath, HttpResponse::AtRate(catalog, catalog.size(), "text/xml"));
    const std::string elsewhere = temp / "elsewhere";
    const std::string typed = TypedTarget();
    RunDialog(dialog, [&](WindowDriver& driver) {
        driver.Click(IDC_KIT_TELMI);
        driver.Type(IDC_TARGET_FOLDER, typed);
        driver.Click(IDOK);
        ASSERT_TRUE(driver.WaitUntil([&] { return CatalogRequests() == 1; }));
        // The choice is frozen from the moment OK has read it.
        for (int id : {IDC_KIT_TELMI, IDC_KIT_VARNO, IDC_KIT_BRISS, IDC_KIT_LOMTA, IDC_KIT_KRESPA, IDC_OFFLINE_UPDATE,
                       IDC_TARGET_FOLDER, IDC_BROWSE_FOLDER})
            EXPECT_FALSE(driver.IsEnabled(id)) << id;
        // Programs can still click and paste into disabled controls; the dialog is blocked
        // in the fetch, so the paste comes from a thread of its own.
        driver.Click(IDC_OFFLINE_UPDATE);
        std::thread paste([&] { driver.Type(IDC_TARGET_FOLDER, elsewhere); });
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
        paste.join();
        EXPECT_TRUE(driver.IsChecked(IDC_KIT_TELMI));
        EXPECT_FALSE(driver.IsChecked(IDC_OFFLINE_UPDATE));
        // After the fetch the field shows the folder as typed; the job was given its normal form.
        EXPECT_EQ(typed, driver.Text(IDC_TARGET_FOLDER));
    });
    EXPECT_EQ(0, dialog.mode);
    EXPECT_EQ(target, static_cast<const char*>(dialog.targetFolder));
    EXPECT_EQ("#include = [St,Database\\one\\one.ini]\r\n", ReadWholeFile(target + "\\ZebDbLst.ini"));
    EXPECT_FALSE(DirectoryExists(elsewhere));
}

TEST_F(DialogFlow, AllocationFailuresInOkAndTheFetchLeaveADialogThatCloses)
{
    PublishKit();
    // Every allocation on the dialog's thread from OK on, in turn, until a run needs no more.
    const DWORD dialogThread = GetCurrentThreadId();
    long index = 0;
    for (bool failed = true; failed; ++index) {
        DownloadDialog fresh;
        const std::string folder = temp / ("run" + std::to_string(index));
        RunDialog(fresh, [&](WindowDriver& driver) {
            driver.Click(IDC_KIT_TELMI);
            driver.Type(IDC_TARGET_FOLDER, folder);
            TestAllocator::FailAllocation(dialogThread, index);
            driver.Click(IDOK);
            driver.WaitUntil([&] { return TestAllocator::FailureHappened() || driver.Text(IDCANCEL) == "Закрыть"; },
                             10000);
            failed = TestAllocator::FailureHappened();
            TestAllocator::StopFailing();
            // An error box, a running or finished job, or an idle dialog: Cancel (and Yes, and
            // OK for a box) closes it in every case.
            for (int i = 0; i < 20 && IsWindow(driver.Dialog()); ++i) {
                driver.Answer(IDYES);
                driver.Answer(IDOK);
                driver.Click(IDCANCEL);
                driver.WaitClosed(200);
            }
            EXPECT_FALSE(IsWindow(driver.Dialog())) << index;
        });
    }
    EXPECT_GT(index, 5);
    printf("%ld allocations from OK to the worker's start each failed in turn\n", index - 1);
}

TEST_F(DialogFlow, ASecondRunIntoTheSameFolderEndsTheSameAndFetchesAlmostNothing)
{
    // Paced, so that what the server sends is about what the tool reads.
    PublishKit(1);
    auto runKit = [&](DownloadDialog& run, bool folderHasFiles) {
        RunDialog(run, [&](WindowDriver& driver) {
            driver.Click(IDC_KIT_TELMI);
            driver.Type(IDC_TARGET_FOLDER, target);
            driver.Click(IDOK);
            if (folderHasFiles) {
                EXPECT_EQ(0u, driver.WaitForBox().find("Папка "));
                driver.Answer(IDYES);
            }
            ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IDCANCEL) == "Закрыть"; }));
            EXPECT_FALSE(driver.BoxOpen());
            driver.Click(IDCANCEL);
            EXPECT_TRUE(driver.WaitClosed());
        });
    };
    auto folder = [&] {
        std::vector<std::string> files;
        for (const std::string& entry : ListTree(target))
            files.push_back(entry + "=" + ReadWholeFile(target + "\\" + entry));
        return files;
    };
    runKit(dialog, false);
    const std::vector<std::string> first = folder();
    const long long firstBytes = server.BodyBytesSent();
    ASSERT_GT(firstBytes, 2 << 20);

    DownloadDialog second;
    second.retrySettings = QuickRetry();
    runKit(second, true);
    EXPECT_EQ(first, folder());
    const long long secondBytes = server.BodyBytesSent() - firstBytes;
    printf("first run: %lld body bytes sent, second run: %lld\n", firstBytes, secondBytes);
    EXPECT_LT(secondBytes, firstBytes / 10);
}
