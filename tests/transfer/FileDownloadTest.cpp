#include "ServerTest.h"

#include "FileDownload.h"
#include "PackWriter.h"

namespace {

class FileDownload : public ServerTest {
protected:
    // Downloads the server's `name` into the file of the same name.
    HRESULT Download(const std::string& name)
    {
        return DownloadToFile(Env(), server.Url("/" + name).c_str(), (temp / name).c_str());
    }
};

}  // namespace

TEST_F(FileDownload, EmptyResourceGivesAnEmptyFile)
{
    server.Serve("/empty", HttpResponse::Ok(""));
    ASSERT_EQ(S_OK, Download("empty"));
    EXPECT_TRUE(FileExists(temp / "empty"));
    EXPECT_EQ((std::vector<ProgressRecorder::Bytes>{{0, 0}}), progress.AllBytes());
}

TEST_F(FileDownload, AbortBeforeTheCallRequestsButCreatesNothing)
{
    server.Serve("/file", HttpResponse::Ok("abc"));
    cancel.Cancel();
    ASSERT_EQ(E_ABORT, Download("file"));
    EXPECT_EQ(1u, server.RequestCount());
    EXPECT_FALSE(FileExists(temp / "file"));
    EXPECT_TRUE(progress.AllBytes().empty());
}

TEST_F(FileDownload, FailuresKeepWhatArrived)
{
    server.Serve("/missing", HttpResponse::WithStatus("404 Not Found"));
    HttpResponse chunked = HttpResponse::Ok("chunked body");
    chunked.chunked = true;
    server.Serve("/chunked", chunked);
    HttpResponse cut = HttpResponse::Ok("0123456789");
    cut.closeAfterBytes = 4;
    server.Serve("/cut", cut);
    EXPECT_EQ(E_FAIL, Download("missing"));
    EXPECT_EQ(E_FAIL, Download("chunked"));
    EXPECT_EQ(E_FAIL, Download("cut"));
    EXPECT_FALSE(FileExists(temp / "missing"));
    EXPECT_FALSE(FileExists(temp / "chunked"));
    EXPECT_EQ("0123", ReadWholeFile(temp / "cut"));

    // Redirects are followed, here from one path to another.
    server.Serve("/moved", HttpResponse::Redirect(302, server.Url("/final")));
    server.Serve("/final", HttpResponse::Ok("final"));
    EXPECT_EQ(S_OK, Download("moved"));
    EXPECT_EQ("final", ReadWholeFile(temp / "moved"));
}
