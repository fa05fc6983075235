#include "JobTestSupport.h"

namespace {

class FileDownload : public JobTest {
protected:
    void SetUp() override
    {
        JobTest::SetUp();
        PublishCatalog(CatalogXml(Base(), {}, {}));
    }
    HRESULT Download(const char* caption, const char* path)
    {
        return harness.RunOnWorker([&] { return harness.dialog.DownloadFile(caption, path); });
    }
};

}  // namespace

TEST_F(FileDownload, ThreeGiBUsesDivisorTwoForRangeAndPositions)
{
    HttpResponse response = HttpResponse::Ok(GeneratedData(1, 6 << 20));
    response.contentLengthText = "3221225472";
    response.closeAfterBytes = 6 << 20;
    server.Serve("/base/huge.bin", response);
    // The body ends long before the announced length: a failure, and the bytes stay.
    EXPECT_EQ(E_FAIL, Download("huge", "huge.bin"));
    EXPECT_EQ(GeneratedData(1, 6 << 20), ReadWholeFile(target + "\\huge.bin"));
    std::vector<ProgressMessage> item = harness.ItemMessages();
    ASSERT_GE(item.size(), 3u);
    EXPECT_EQ((ProgressMessage{PBM_SETRANGE32, 0, 1610612736}), item[0]);
    EXPECT_EQ((ProgressMessage{PBM_SETPOS, 0, 0}), item[1]);
    // Every later position is half the bytes received so far.
    WPARAM last = 0;
    for (size_t i = 2; i < item.size(); ++i) {
        EXPECT_EQ(static_cast<UINT>(PBM_SETPOS), item[i].message);
        EXPECT_GT(item[i].wParam, last);
        last = item[i].wParam;
    }
    EXPECT_EQ(static_cast<WPARAM>(3 << 20), last);
}

TEST_F(FileDownload, EmptyResourceGivesAnEmptyFile)
{
    server.Serve("/base/empty", HttpResponse::Ok(""));
    ASSERT_EQ(S_OK, Download("empty", "empty"));
    EXPECT_TRUE(FileExists(target + "\\empty"));
    EXPECT_EQ((std::vector<ProgressMessage>{{PBM_SETRANGE32, 0, 0}, {PBM_SETPOS, 0, 0}}), harness.ItemMessages());
}

TEST_F(FileDownload, AbortBeforeTheCallRequestsButCreatesNothing)
{
    server.Serve("/base/file", HttpResponse::Ok("abc"));
    harness.dialog.abortRequested = 1;
    size_t before = server.RequestCount();
    ASSERT_EQ(S_OK, Download("Файл", "file"));
    EXPECT_EQ(before + 1, server.RequestCount());
    EXPECT_FALSE(FileExists(target + "\\file"));
    EXPECT_EQ((std::vector<std::string>{"Файл"}), harness.ItemCaptions());
    EXPECT_EQ((std::vector<ProgressMessage>{{PBM_SETRANGE32, 0, 3}}), harness.ItemMessages());
}

TEST_F(FileDownload, FailuresLeaveTheCaptionAndWhatArrived)
{
    server.Serve("/base/missing", HttpResponse::WithStatus("404 Not Found"));
    HttpResponse chunked = HttpResponse::Ok("chunked body");
    chunked.chunked = true;
    server.Serve("/base/chunked", chunked);
    HttpResponse cut = HttpResponse::Ok("0123456789");
    cut.closeAfterBytes = 4;
    server.Serve("/base/cut", cut);
    EXPECT_EQ(E_FAIL, Download("missing", "missing"));
    EXPECT_EQ(E_FAIL, Download("chunked", "chunked"));
    EXPECT_EQ(E_FAIL, Download("cut", "cut"));
    EXPECT_EQ((std::vector<std::string>{"missing", "chunked", "cut"}), harness.ItemCaptions());
    EXPECT_FALSE(FileExists(target + "\\missing"));
    EXPECT_FALSE(FileExists(target + "\\chunked"));
    EXPECT_EQ("0123", ReadWholeFile(target + "\\cut"));

    // Redirects are followed, here from one path to another.
    server.Serve("/base/moved", HttpResponse::Redirect(302, server.Url("/base/final")));
    server.Serve("/base/final", HttpResponse::Ok("final"));
    EXPECT_EQ(S_OK, Download("moved", "moved"));
    EXPECT_EQ("final", ReadWholeFile(target + "\\moved"));
}
