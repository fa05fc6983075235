// A database pack of an offline update, stored as the server's file and checked by its own
// digests: as it arrives, and on a second run, which repairs what it finds damaged.
#include "ServerTest.h"

#include "PackStore.h"
#include "PackStream.h"
#include "PackTestSupport.h"
#include "StdoutCapture.h"

namespace {

class PackStore : public ServerTest {
protected:
    HRESULT Store(ULONGLONG* received = nullptr)
    {
        PackStream pack(Env(), server.Url("/db.pack").c_str());
        HRESULT hr = StorePack(pack, stored.c_str(), progress, cancel);
        if (received)
            *received = pack.BytesReceived();
        return hr;
    }
    // The requests made since `before`.
    std::vector<HttpRequestRecord> RequestsSince(size_t before) const
    {
        std::vector<HttpRequestRecord> requests = server.Requests();
        requests.erase(requests.begin(), requests.begin() + static_cast<std::ptrdiff_t>(before));
        return requests;
    }
    // Serves `pack` as a real server does: dated, and so with ranges.
    void Serve(const std::string& pack)
    {
        HttpResponse response = HttpResponse::Ok(pack);
        response.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
        server.Serve("/db.pack", response);
    }

    static PackLayout FourFiles(uint32_t seed)
    {
        PackLayout layout;
        layout.packName = "db";
        for (int i = 0; i < 4; ++i)
            layout.files.push_back(PackFile("f" + std::to_string(i) + ".dat", GeneratedData(seed + i, 300000 + i)));
        return layout;
    }
    static uint64_t Offset(const PackLayout& layout, size_t index)
    {
        uint64_t offset = 308 + 284 * layout.files.size();
        for (size_t i = 0; i < index; ++i)
            offset += layout.files[i].data.size();
        return offset;
    }

    std::string stored = temp / "db.pack";
};

}  // namespace

TEST_F(PackStore, AServersDamagedCopyIsStoredAsItCameAndFailsWithOneMismatchLine)
{
    const PackLayout layout = FourFiles(1);
    std::string damaged = BuildPack(layout);
    damaged[Offset(layout, 2) + 1000] ^= 1;
    Serve(damaged);
    StdoutCapture out(temp / "stdout.txt");
    const HRESULT hr = Store();
    EXPECT_EQ("db\\f2.dat\r\nMD5 mismatch", out.Finish());
    EXPECT_EQ(E_FAIL, hr);
    EXPECT_TRUE(damaged == ReadWholeFile(stored));
    // A pack whose table cannot be read fails too.
    Serve(damaged.substr(0, 500));
    ASSERT_TRUE(DeleteFileA(stored.c_str()));
    EXPECT_EQ(E_FAIL, Store());
}

TEST_F(PackStore, ARerunRepairsADamagedEntryWithOneRangeAndThenSendsOnlyTheTable)
{
    const PackLayout layout = FourFiles(2);
    const std::string pack = BuildPack(layout) + "trailing bytes";
    Serve(pack);
    ASSERT_EQ(S_OK, Store());
    ASSERT_TRUE(pack == ReadWholeFile(stored));

    // One flipped byte in the third entry, the size and the time as they were.
    WIN32_FILE_ATTRIBUTE_DATA before = {};
    GetFileAttributesExA(stored.c_str(), GetFileExInfoStandard, &before);
    std::string damaged = pack;
    damaged[Offset(layout, 2) + 7] ^= 1;
    ASSERT_TRUE(WriteWholeFile(stored, damaged));
    HANDLE file = CreateFileA(stored.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFileTime(file, NULL, NULL, &before.ftLastWriteTime);
    CloseHandle(file);

    size_t requests = server.RequestCount();
    ASSERT_EQ(S_OK, Store());
    EXPECT_TRUE(pack == ReadWholeFile(stored));
    std::vector<HttpRequestRecord> rerun = RequestsSince(requests);
    ASSERT_EQ(3u, rerun.size());
    EXPECT_EQ("bytes=0-307", rerun[0].Header("Range"));
    EXPECT_EQ("bytes=308-" + std::to_string(Offset(layout, 0) - 1), rerun[1].Header("Range"));
    EXPECT_EQ("bytes=" + std::to_string(Offset(layout, 2)) + "-" + std::to_string(Offset(layout, 3) - 1),
              rerun[2].Header("Range"));
    EXPECT_EQ(pack.size(), progress.Done().back());

    // Complete: the header and the table, and the pack, read-only, is not written.
    ASSERT_TRUE(SetFileAttributesA(stored.c_str(), FILE_ATTRIBUTE_READONLY));
    requests = server.RequestCount();
    ULONGLONG received = 0;
    EXPECT_EQ(S_OK, Store(&received));
    ASSERT_TRUE(SetFileAttributesA(stored.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(2u, RequestsSince(requests).size());
    EXPECT_EQ(Offset(layout, 0), received);
    EXPECT_TRUE(pack == ReadWholeFile(stored));

    // Cut short, as by an earlier run that stopped: continued, and checked whole.
    ASSERT_TRUE(WriteWholeFile(stored, pack.substr(0, Offset(layout, 1) + 100)));
    ASSERT_EQ(S_OK, Store());
    EXPECT_TRUE(pack == ReadWholeFile(stored));
}

TEST_F(PackStore, AStoredPackOfAnotherTableIsReplacedWholeAndKeptWhenTheNewOneFails)
{
    const PackLayout older = FourFiles(3);
    Serve(BuildPack(older));
    ASSERT_EQ(S_OK, Store());
    PackLayout newer = FourFiles(3);
    newer.files[1].data = GeneratedData(40, 1000);
    const std::string pack = BuildPack(newer);
    Serve(pack);
    ASSERT_EQ(S_OK, Store());
    EXPECT_TRUE(pack == ReadWholeFile(stored));
    EXPECT_FALSE(FileExists(stored + ".part"));

    // A newer version damaged on the server leaves the stored one as it was.
    PackLayout newest = FourFiles(5);
    std::string damaged = BuildPack(newest);
    damaged[Offset(newest, 0)] ^= 1;
    Serve(damaged);
    StdoutCapture out(temp / "stdout.txt");
    EXPECT_EQ(E_FAIL, Store());
    EXPECT_EQ("db\\f0.dat\r\nMD5 mismatch", out.Finish());
    EXPECT_TRUE(pack == ReadWholeFile(stored));
    EXPECT_FALSE(FileExists(stored + ".part"));
}
