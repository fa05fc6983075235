#include "ServerTest.h"

#include "PackFormat.h"
#include "PackStream.h"
#include "PackTestSupport.h"

namespace {

class PackExtractHttp : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    }

    // Unpacks the pack at `url` as the kit job does.
    HRESULT ExtractUrl(const std::string& url, ProgressSink& sink)
    {
        PackStream pack(TransferEnv{session, cancel, sink, QuickRetry()}, url.c_str());
        return ExtractPack(pack, target.c_str(), nullptr, sink, cancel);
    }
    HRESULT Extract(const std::string& path, ProgressSink& sink) { return ExtractUrl(server.Url(path), sink); }
    HRESULT Extract(const std::string& path) { return Extract(path, progress); }

    std::string target = temp / "target";
};

}  // namespace

TEST_F(PackExtractHttp, UnpacksFromTheServerWithProgressUpToTheContentLength)
{
    PackLayout layout = SamplePack();
    std::string pack = BuildPack(layout);
    // In small pieces, after a redirect, and followed by bytes that are never read.
    HttpResponse slow = HttpResponse::Ok(pack + std::string(1000, 'T'), "application/octet-stream");
    slow.pieceSize = 97;
    server.Serve("/packs/sample.pack", slow);
    server.Serve("/old.pack", HttpResponse::Redirect(302, server.Url("/packs/sample.pack")));
    ASSERT_EQ(S_OK, Extract("/old.pack"));
    for (const PackedFile& file : layout.files)
        EXPECT_EQ(file.data, ReadWholeFile(target + "\\Bin\\" + file.name)) << file.name;
    ASSERT_FALSE(progress.AllBytes().empty());
    EXPECT_EQ((ProgressRecorder::Bytes{0, pack.size() + 1000}), progress.AllBytes().front());
    EXPECT_EQ((ProgressRecorder::Bytes{pack.size(), pack.size() + 1000}), progress.AllBytes().back());

    // The total is the Content-Length, also above 4 GiB.
    HttpResponse big = HttpResponse::Ok("");
    big.contentLengthText = "6442450944";  // 6 GiB announced, nothing sent
    big.closeAfterBytes = 0;
    server.Serve("/big", big);
    EXPECT_EQ(E_FAIL, Extract("/big"));
    EXPECT_EQ(6442450944u, progress.AllBytes().back().total);
}

TEST_F(PackExtractHttp, RequestIsAPlainGetWithTheAgentAndNoCache)
{
    HttpResponse response = HttpResponse::Ok(BuildPack(SamplePack()));
    response.headers.emplace_back("Set-Cookie", "tracker=1; Path=/");
    server.Serve("/dir/sub/x.pack", response);
    ASSERT_EQ(S_OK, Extract("\\dir\\sub\\x.pack"));  // backslashes become slashes
    // Into an empty folder again: nothing there to keep, so the pack is asked for whole.
    RemoveTree(target);
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    ASSERT_EQ(S_OK, Extract("/dir/sub/x.pack"));
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    for (const HttpRequestRecord& request : requests) {
        EXPECT_EQ("GET", request.method);
        EXPECT_EQ("/dir/sub/x.pack", request.path);
        EXPECT_EQ("Zeb application", request.Header("User-Agent"));
        EXPECT_EQ("no-cache", request.Header("Pragma"));
        EXPECT_FALSE(request.HasHeader("Cookie"));
        EXPECT_FALSE(request.HasHeader("Range"));
    }
}

TEST_F(PackExtractHttp, AnswersThatCannotBeReadFail)
{
    std::string pack = BuildPack(SamplePack());
    server.Serve("/missing.pack", HttpResponse::WithStatus("404 Not Found"));
    server.Serve("/error.pack", HttpResponse::WithStatus("500 Internal Server Error"));
    HttpResponse chunked = HttpResponse::Ok(pack);
    chunked.chunked = true;
    server.Serve("/chunked.pack", chunked);
    HttpResponse longLength = HttpResponse::Ok(pack);
    longLength.contentLengthText = std::string(31, '0') + std::to_string(pack.size());
    server.Serve("/long-length.pack", longLength);
    HttpResponse cut = HttpResponse::Ok(pack);
    cut.closeAfterBytes = static_cast<long long>(pack.size() - 10);
    server.Serve("/cut.pack", cut);

    for (const char* path : {"/missing.pack", "/error.pack", "/chunked.pack", "/long-length.pack", "/cut.pack"})
        EXPECT_EQ(E_FAIL, Extract(path)) << path;
    EXPECT_EQ(E_FAIL, Extract("/not-scripted.pack"));

    EXPECT_EQ(E_FAIL, ExtractUrl("http://127.0.0.1:1/x.pack", progress));
}

TEST_F(PackExtractHttp, AbortBeforeTheCallStillRequestsAndTellsTheTotal)
{
    std::string pack = BuildPack(SamplePack());
    server.Serve("/a.pack", HttpResponse::Ok(pack));
    cancel.Cancel();
    ASSERT_EQ(E_ABORT, Extract("/a.pack"));
    EXPECT_EQ(1u, server.RequestCount());
    EXPECT_EQ((std::vector<ProgressRecorder::Bytes>{{0, pack.size()}}), progress.AllBytes());
    EXPECT_TRUE(ListTree(target).empty());
}

TEST_F(PackExtractHttp, SlowLinkMovesTheBarWithinAChunkAndAnAbortStopsThere)
{
    // One file of 1.5 MiB, a single chunk, arriving at 1 MiB/s.
    PackLayout layout;
    layout.packName = "P";
    layout.files.push_back(PackFile("slow.bin", GeneratedData(3, 3 << 19)));
    const std::string pack = BuildPack(layout);
    const ULONGLONG tableEnd = sizeof(PackHeader) + sizeof(PackEntry);
    server.Serve("/slow.pack", HttpResponse::AtRate(pack, 1 << 20));
    ASSERT_EQ(S_OK, Extract("/slow.pack"));
    std::vector<ULONGLONG> positions = progress.Done();
    size_t withinTheChunk = 0;
    for (ULONGLONG position : positions)
        withinTheChunk += position > tableEnd && position < pack.size();
    EXPECT_GE(withinTheChunk, 3u);  // about one every 100 ms
    EXPECT_EQ(pack.size(), positions.back());

    // Cancel confirmed at the first position inside the chunk, as the dialog does it:
    // the token raised and the open request closed under the transfer.
    RemoveTree(target);
    ProgressRecorder cancelled;
    cancelled.onBytes = [&](const ProgressRecorder::Bytes& bytes) {
        if (bytes.done > tableEnd)
            cancel.Cancel();
    };
    ASSERT_EQ(E_ABORT, Extract("/slow.pack", cancelled));
    EXPECT_LT(cancelled.Done().back(), pack.size());
    // The chunk in progress is never written.
    EXPECT_TRUE(FileExists(target + "\\P\\slow.bin"));
    EXPECT_EQ("", ReadWholeFile(target + "\\P\\slow.bin"));
}
