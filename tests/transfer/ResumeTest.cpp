// Drops, stalls and a busy server: a transfer pauses and goes on where it stopped, and a
// resource that changed between two attempts is taken whole from its new version.
#include "ServerTest.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "FileDownload.h"
#include "PackStream.h"
#include "PackTestSupport.h"

namespace {

class Resume : public ServerTest {
protected:
    HRESULT Download(const std::string& name)
    {
        return DownloadToFile(Env(retry), server.Url("/" + name).c_str(), (temp / name).c_str());
    }
    HRESULT Extract(const std::string& name, ULONGLONG* received = nullptr)
    {
        PackStream pack(Env(retry), server.Url("/" + name).c_str());
        HRESULT hr = ExtractPack(pack, (temp / "kit").c_str(), nullptr, progress, cancel);
        if (received)
            *received = pack.BytesReceived();
        return hr;
    }
    // A wait for the link was told, and that it is over.
    void ExpectWaitEnded() const
    {
        ASSERT_FALSE(progress.Waits().empty());
        EXPECT_GT(progress.Waits().front(), 0);
        EXPECT_EQ(0, progress.Waits().back());
    }
    // The bytes in place never go back within one version of a resource.
    void ExpectPositionsRise() const
    {
        std::vector<ULONGLONG> positions = progress.Done();
        for (size_t i = 1; i < positions.size(); ++i)
            EXPECT_GE(positions[i], positions[i - 1]) << "position " << i;
    }

    static PackLayout TwoFiles(uint32_t seed)
    {
        PackLayout layout;
        layout.packName = "Bin";
        layout.files.push_back(PackFile("first.bin", GeneratedData(seed, 300000), MakeFileTime(0x01D5000000000000ull)));
        layout.files.push_back(PackFile("sub\\second.bin", GeneratedData(seed + 1, 5 << 20)));
        return layout;
    }

    RetrySettings retry = QuickRetry();
};

void ExpectUnpacked(const PackLayout& layout, const std::string& target)
{
    for (const PackedFile& file : layout.files)
        EXPECT_EQ(file.data, ReadWholeFile(target + "\\Bin\\" + file.name)) << file.name;
}

}  // namespace

TEST_F(Resume, ADroppedPackGoesOnFromTheByteWhereItStopped)
{
    PackLayout layout = TwoFiles(1);
    std::string pack = BuildPack(layout);
    HttpResponse response = HttpResponse::Ok(pack);
    response.etag = "\"v1\"";
    response.closeAfterBytes = 2 << 20;
    response.faultyAnswers = 1;
    server.Serve("/a.pack", response);
    ULONGLONG received = 0;
    ASSERT_EQ(S_OK, Extract("a.pack", &received));
    ExpectUnpacked(layout, temp / "kit");
    // Each byte once: the second request asked for the rest of this version.
    EXPECT_EQ(pack.size(), received);
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_FALSE(requests[0].HasHeader("Range"));
    EXPECT_EQ("bytes=" + std::to_string(2 << 20) + "-", requests[1].Header("Range"));
    // A pack's own bytes name its version: no validator in the range.
    EXPECT_FALSE(requests[1].HasHeader("If-Range"));
    ExpectPositionsRise();
}

TEST_F(Resume, ADroppedFileGoesOnAndItsWaitEnds)
{
    std::string data = GeneratedData(2, 4 << 20);
    HttpResponse response = HttpResponse::Ok(data);
    // No ETag: the date is the validator.
    response.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    response.closeAfterBytes = 2 << 20;
    response.faultyAnswers = 1;
    server.Serve("/f.bin", response);
    ASSERT_EQ(S_OK, Download("f.bin"));
    EXPECT_EQ(data, ReadWholeFile(temp / "f.bin"));
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("bytes=" + std::to_string(2 << 20) + "-", requests[1].Header("Range"));
    EXPECT_EQ(response.lastModified, requests[1].Header("If-Range"));
    ExpectWaitEnded();
    ExpectPositionsRise();
}

TEST_F(Resume, AServerWithoutRangesSendsItAllAndWhatArrivedIsSkipped)
{
    PackLayout layout = TwoFiles(3);
    std::string pack = BuildPack(layout);
    HttpResponse response = HttpResponse::Ok(pack);
    response.etag = "\"same\"";
    response.ignoreRanges = true;
    response.closeAfterBytes = 3 << 20;
    response.faultyAnswers = 1;
    server.Serve("/a.pack", response);
    ULONGLONG received = 0;
    ASSERT_EQ(S_OK, Extract("a.pack", &received));
    ExpectUnpacked(layout, temp / "kit");
    EXPECT_EQ(pack.size() + (3 << 20), received);
    ExpectPositionsRise();
}

TEST_F(Resume, APackThatChangedBetweenAttemptsIsUnpackedWholeFromItsNewVersion)
{
    PackLayout older = TwoFiles(4);
    PackLayout newer = TwoFiles(5);
    newer.files[0].data = GeneratedData(6, 1000);
    HttpResponse response = HttpResponse::Ok(BuildPack(older));
    response.etag = "\"old\"";
    response.laterBody = BuildPack(newer);
    response.laterEtag = "\"new\"";
    // In the second file: the first is complete in its old version by then.
    response.closeAfterBytes = 1 << 20;
    server.Serve("/a.pack", response);
    ASSERT_EQ(S_OK, Extract("a.pack"));
    ExpectUnpacked(newer, temp / "kit");
}

TEST_F(Resume, AFileThatChangedBetweenAttemptsIsWrittenFromItsFirstByte)
{
    HttpResponse response = HttpResponse::Ok(GeneratedData(7, 3 << 20));
    response.etag = "\"old\"";
    response.laterBody = GeneratedData(8, 1 << 20);
    response.laterEtag = "\"new\"";
    response.closeAfterBytes = 2 << 20;
    response.faultyAnswers = 1;
    server.Serve("/f.bin", response);
    ASSERT_EQ(S_OK, Download("f.bin"));
    EXPECT_EQ(GeneratedData(8, 1 << 20), ReadWholeFile(temp / "f.bin"));
}

TEST_F(Resume, EveryDropThatBroughtNewBytesStartsTheCountAfresh)
{
    // Sixteen drops, far more than the five retries allowed in a row without progress.
    std::string data = GeneratedData(9, 4 << 20);
    HttpResponse response = HttpResponse::Ok(data);
    response.etag = "\"v\"";
    response.closeAfterBytes = 256 << 10;
    server.Serve("/f.bin", response);
    ASSERT_EQ(S_OK, Download("f.bin"));
    EXPECT_EQ(data, ReadWholeFile(temp / "f.bin"));
    EXPECT_EQ(16u, server.RequestCount());
}

namespace {

// The retry window's clock, moved by the test: time the computer spent asleep while a
// read was blocked, as a clock that counts it would show.
std::atomic<ULONGLONG> fakeClockMs{0};
ULONGLONG FakeClock()
{
    return fakeClockMs.load();
}

}  // namespace

TEST_F(Resume, AnOutageGetsItsWholeWindowHoweverLongAgoTheLastProgressWas)
{
    std::string data = GeneratedData(10, 2 << 20);
    HttpResponse response = HttpResponse::Ok(data);
    response.etag = "\"v\"";
    response.pieceSize = 128 << 10;
    response.pieceDelayMs = 150;
    response.closeAfterBytes = 1 << 20;
    response.faultyAnswers = 1;
    server.Serve("/f.bin", response);
    // An hour, far more than the window, passes with every report of bytes.
    progress.onBytes = [](const ProgressRecorder::Bytes& bytes) {
        if (bytes.done > 0)
            fakeClockMs += 3600 * 1000;
    };
    RetryClockMs = FakeClock;
    const HRESULT hr = Download("f.bin");
    RetryClockMs = DefaultRetryClockMs;
    ASSERT_EQ(S_OK, hr);
    EXPECT_GT(fakeClockMs.load(), static_cast<ULONGLONG>(retry.patience.windowMs));
    EXPECT_EQ(data, ReadWholeFile(temp / "f.bin"));
    EXPECT_EQ(2u, server.RequestCount());
}

TEST_F(Resume, ABusyServerIsGivenUpOnceThePatienceIsSpentAndA404AfterOneRequest)
{
    server.Serve("/busy", HttpResponse::WithStatus("503 Service Unavailable"));
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(E_FAIL, Download("busy"));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Tried for the whole window of 3 s, with waits of at most 80 ms between the tries.
    EXPECT_GE(seconds, 2.9);
    const size_t busyRequests = server.RequestCount();
    EXPECT_GT(busyRequests, 20u);
    // The wait is over once the transfer has given up.
    ExpectWaitEnded();

    EXPECT_EQ(E_FAIL, Download("missing"));
    EXPECT_EQ(busyRequests + 1, server.RequestCount());
}

TEST_F(Resume, AStalledLinkIsGivenUpAfterTheReceiveTimeoutAndResumed)
{
    std::string data = GeneratedData(10, 1 << 20);
    HttpResponse response = HttpResponse::Ok(data);
    response.etag = "\"v\"";
    response.stallAfterBytes = 600000;
    response.faultyAnswers = 1;
    server.Serve("/f.bin", response);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, Download("f.bin"));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(data, ReadWholeFile(temp / "f.bin"));
    EXPECT_EQ(1, server.StalledCount());
    // Not before the timeout of 2 s, and not long after it (the test's bound, not a goal).
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 20.0);
}

TEST_F(Resume, CancelDuringAWaitEndsAtOnce)
{
    server.Serve("/busy", HttpResponse::WithStatus("503 Service Unavailable"));
    retry.patience.firstWaitMs = retry.patience.longestWaitMs = 60 * 1000;
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        cancel.Cancel();
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(E_ABORT, Download("busy"));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    user.join();
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(1u, server.RequestCount());
    // A cancelled wait is left as it was: the dialog is closing.
    ASSERT_FALSE(progress.Waits().empty());
    EXPECT_GT(progress.Waits().back(), 0);
    EXPECT_FALSE(FileExists(temp / "busy"));
}

namespace {

// Six files of a few hundred KiB each, behind their 308-byte header and table.
PackLayout SixFiles()
{
    PackLayout layout;
    layout.packName = "Bin";
    for (int i = 0; i < 6; ++i)
        layout.files.push_back(PackFile("f" + std::to_string(i) + ".bin", GeneratedData(20 + i, 200000 + i * 1000),
                                        MakeFileTime(0x01D5000000000000ull + i)));
    return layout;
}

uint64_t DataOffset(const PackLayout& layout, size_t index)
{
    uint64_t offset = 308 + 284 * layout.files.size();
    for (size_t i = 0; i < index; ++i)
        offset += layout.files[i].data.size();
    return offset;
}

FILETIME WriteTime(const std::string& path)
{
    FILETIME written = {};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    GetFileTime(file, NULL, NULL, &written);
    CloseHandle(file);
    return written;
}

}  // namespace

TEST_F(Resume, ASecondRunOverACompletePackFetchesNothingButTheTableAndStampsTheFiles)
{
    PackLayout layout = SixFiles();
    HttpResponse response = HttpResponse::Ok(BuildPack(layout));
    response.etag = "\"six\"";
    server.Serve("/a.pack", response);
    ASSERT_EQ(S_OK, Extract("a.pack"));
    // Another time on one file: a second run leaves the folder as a fresh download does.
    const std::string first = temp / "kit" + "\\Bin\\f0.bin";
    FILETIME other = MakeFileTime(0x01D9000000000000ull);
    HANDLE file = CreateFileA(first.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_TRUE(SetFileTime(file, &other, &other, &other));
    CloseHandle(file);

    ULONGLONG received = 0;
    ASSERT_EQ(S_OK, Extract("a.pack", &received));
    EXPECT_EQ(DataOffset(layout, 0), received);
    // The header, then the table, each asked for alone.
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("bytes=0-307", requests[1].Header("Range"));
    EXPECT_EQ("bytes=308-" + std::to_string(DataOffset(layout, 0) - 1), requests[2].Header("Range"));
    ExpectUnpacked(layout, temp / "kit");
    EXPECT_TRUE(SameTime(layout.files[0].time, WriteTime(first)));
    // The bar still ends full: the kept files count as done.
    EXPECT_EQ(progress.Done().back(), BuildPack(layout).size());
}

TEST_F(Resume, ADropInsideTheHeaderResumesWithTheRangeAskedFor)
{
    PackLayout layout = SixFiles();
    HttpResponse response = HttpResponse::Ok(BuildPack(layout));
    response.etag = "\"six\"";
    response.closeAfterBytes = 100;
    response.faultyAnswers = 1;
    server.Serve("/a.pack", response);
    // A file of an earlier run in the pack's folder: the pack is asked for in parts.
    ASSERT_TRUE(CreateDirectoryA((temp / "kit").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((temp / "kit" + "\\Bin").c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(temp / "kit" + "\\Bin\\other.txt", "earlier"));
    ASSERT_EQ(S_OK, Extract("a.pack"));
    ExpectUnpacked(layout, temp / "kit");
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_LE(3u, requests.size());
    EXPECT_EQ("bytes=0-307", requests[0].Header("Range"));
    EXPECT_EQ("bytes=100-307", requests[1].Header("Range"));
    EXPECT_EQ("bytes=308-" + std::to_string(DataOffset(layout, 0) - 1), requests[2].Header("Range"));
}

TEST_F(Resume, ASecondRunFetchesExactlyTheMissingTheShortAndTheChangedFiles)
{
    PackLayout layout = SixFiles();
    std::string pack = BuildPack(layout);
    for (bool ignoreRanges : {false, true}) {
        RemoveTree(temp / "kit");
        HttpResponse response = HttpResponse::Ok(pack);
        response.etag = "\"six\"";
        response.ignoreRanges = ignoreRanges;
        server.Serve("/a.pack", response);
        ASSERT_EQ(S_OK, Extract("a.pack"));
        const std::string bin = temp / "kit" + "\\Bin\\";
        ASSERT_TRUE(DeleteFileA((bin + "f1.bin").c_str()));
        ASSERT_TRUE(WriteWholeFile(bin + "f3.bin", layout.files[3].data.substr(0, 1000)));
        // One byte changed, size and times as they were: only the digest tells.
        std::string changed = layout.files[5].data;
        changed[100] ^= 1;
        FILETIME time = WriteTime(bin + "f5.bin");
        ASSERT_TRUE(WriteWholeFile(bin + "f5.bin", changed));
        HANDLE file = CreateFileA((bin + "f5.bin").c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
        SetFileTime(file, &time, &time, &time);
        CloseHandle(file);

        const size_t before = server.RequestCount();
        ULONGLONG received = 0;
        ASSERT_EQ(S_OK, Extract("a.pack", &received)) << ignoreRanges;
        ExpectUnpacked(layout, temp / "kit");
        std::vector<HttpRequestRecord> requests = server.Requests();
        requests.erase(requests.begin(), requests.begin() + before);
        if (ignoreRanges) {
            // The whole pack in answer to the first range, read through, writing only
            // what is needed.
            EXPECT_EQ(1u, requests.size());
            continue;
        }
        // The header, the table, then each file needed, by itself.
        ASSERT_EQ(5u, requests.size());
        for (size_t i = 2; i < 5; ++i) {
            const size_t needed = 2 * i - 3;
            // The last file reaches the end of the pack.
            std::string last = needed == 5 ? "" : std::to_string(DataOffset(layout, needed + 1) - 1);
            EXPECT_EQ("bytes=" + std::to_string(DataOffset(layout, needed)) + "-" + last, requests[i].Header("Range"));
        }
        EXPECT_EQ(DataOffset(layout, 0) + layout.files[1].data.size() + layout.files[3].data.size() +
                      layout.files[5].data.size(),
                  received);
    }
}

namespace {

FILETIME HttpDateTime(const std::string& date)
{
    SYSTEMTIME parsed = {};
    FILETIME time = {};
    InternetTimeToSystemTimeA(date.c_str(), &parsed, 0);
    SystemTimeToFileTime(&parsed, &time);
    return time;
}

void SetWriteTime(const std::string& path, const FILETIME& time)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFileTime(file, NULL, NULL, &time);
    CloseHandle(file);
}

}  // namespace

TEST_F(Resume, ASecondRunProvesAPlainFileByItsLastByteAndKeepsContinuesOrReplacesIt)
{
    const std::string stamp = "Tue, 01 Dec 2026 10:00:00 GMT";
    const std::string data = GeneratedData(30, 300000);
    HttpResponse response = HttpResponse::Ok(data);
    response.lastModified = stamp;
    // A range past the end is answered as Apache 2.4 answers it.
    response.pastTheEnd = HttpResponse::PastTheEnd::kApachePage;
    server.Serve("/p.bin", response);
    const std::string path = temp / "p.bin";
    ASSERT_EQ(S_OK, Download("p.bin"));
    EXPECT_TRUE(SameTime(HttpDateTime(stamp), WriteTime(path)));
    auto lastRequest = [this] { return server.Requests().back(); };

    // Complete: its last byte, without If-Range, comes back as a 206; the file is kept,
    // read-only and held open by another reader: nothing needs writing.
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ(S_OK, Download("p.bin"));
    CloseHandle(reader);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(data, ReadWholeFile(path));
    EXPECT_EQ(2u, server.RequestCount());
    EXPECT_EQ("bytes=299999-", lastRequest().Header("Range"));
    EXPECT_FALSE(lastRequest().HasHeader("If-Range"));
    EXPECT_EQ(data.size(), progress.Done().back());

    // Short, with the time it was stored with (as after an abort): continued from its end,
    // its last byte read again and found the same.
    ASSERT_TRUE(WriteWholeFile(path, data.substr(0, 1000)));
    SetWriteTime(path, HttpDateTime(stamp));
    ASSERT_EQ(S_OK, Download("p.bin"));
    EXPECT_EQ(data, ReadWholeFile(path));
    EXPECT_EQ(3u, server.RequestCount());
    EXPECT_EQ("bytes=999-", lastRequest().Header("Range"));

    // Short, of the same date, but its last byte is another: fetched whole.
    std::string other = data.substr(0, 1000);
    other[999] ^= 1;
    ASSERT_TRUE(WriteWholeFile(path, other));
    SetWriteTime(path, HttpDateTime(stamp));
    ASSERT_EQ(S_OK, Download("p.bin"));
    EXPECT_EQ(data, ReadWholeFile(path));
    EXPECT_EQ(5u, server.RequestCount());
    EXPECT_FALSE(lastRequest().HasHeader("Range"));

    // Longer than the server's file, which Apache answers with its chunked page: replaced.
    ASSERT_TRUE(WriteWholeFile(path, data + "tail"));
    SetWriteTime(path, HttpDateTime(stamp));
    ASSERT_EQ(S_OK, Download("p.bin"));
    EXPECT_EQ(data, ReadWholeFile(path));
    EXPECT_EQ(7u, server.RequestCount());

    // Emptied on the server: the empty version replaces the file.
    response.body.clear();
    response.lastModified = "Wed, 02 Dec 2026 10:00:00 GMT";
    server.Serve("/p.bin", response);
    ASSERT_EQ(S_OK, Download("p.bin"));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ("", ReadWholeFile(path));
    EXPECT_FALSE(FileExists(path + ".part"));

    // No Last-Modified, and so no ranges: the answer to the proof is the whole file, used.
    ASSERT_TRUE(WriteWholeFile(path, "older"));
    server.Serve("/p.bin", HttpResponse::Ok(data));
    const size_t before = server.RequestCount();
    ASSERT_EQ(S_OK, Download("p.bin"));
    EXPECT_EQ(data, ReadWholeFile(path));
    EXPECT_EQ(before + 1, server.RequestCount());
}

TEST_F(Resume, AVersionTakenWholeIsDatedAndResumedByItsOwnValidators)
{
    const std::string path = temp / "big.bin";
    ASSERT_TRUE(WriteWholeFile(path, GeneratedData(32, 2 << 20)));
    SetWriteTime(path, HttpDateTime("Tue, 01 Dec 2026 10:00:00 GMT"));
    // The new version, behind an intermediary that ignores If-Range; its first whole
    // answer drops.
    const std::string data = GeneratedData(33, 3 << 20);
    HttpResponse response = HttpResponse::Ok(data);
    response.lastModified = "Wed, 02 Dec 2026 10:00:00 GMT";
    response.ignoreIfRange = true;
    response.closeAfterBytes = 1 << 20;
    response.faultyAnswers = 2;
    server.Serve("/big.bin", response);
    ASSERT_EQ(S_OK, Download("big.bin"));
    EXPECT_EQ(data, ReadWholeFile(path));
    EXPECT_TRUE(SameTime(HttpDateTime(response.lastModified), WriteTime(path)));
    std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_FALSE(requests[1].HasHeader("Range"));
    EXPECT_EQ("bytes=" + std::to_string(1 << 20) + "-", requests[2].Header("Range"));
    EXPECT_EQ(response.lastModified, requests[2].Header("If-Range"));
    // The next run asks for its last byte only, and keeps it.
    ASSERT_EQ(S_OK, Download("big.bin"));
    ASSERT_EQ(4u, server.RequestCount());
    EXPECT_EQ("bytes=" + std::to_string(data.size() - 1) + "-", server.Requests()[3].Header("Range"));
    EXPECT_EQ(data, ReadWholeFile(path));
}

TEST_F(Resume, AnIntermediaryThatDropsIfRangeNeverMixesTwoVersions)
{
    // It honours Range whatever If-Range names, after the resource changed on the server.
    auto changing = [](const std::string& body, const std::string& later) {
        HttpResponse response = HttpResponse::Ok(body);
        response.etag = "\"v1\"";
        response.closeAfterBytes = 1 << 20;
        response.faultyAnswers = 1;
        response.laterBody = later;
        response.laterEtag = "\"v2\"";
        response.ignoreIfRange = true;
        return response;
    };
    PackLayout layout = TwoFiles(1);
    PackLayout later = TwoFiles(7);
    server.Serve("/a.pack", changing(BuildPack(layout), BuildPack(later)));
    ASSERT_EQ(S_OK, Extract("a.pack"));
    ExpectUnpacked(later, temp / "kit");

    const std::string laterData = GeneratedData(21, 3 << 20);
    server.Serve("/f.bin", changing(GeneratedData(20, 3 << 20), laterData));
    ASSERT_EQ(S_OK, Download("f.bin"));
    EXPECT_EQ(laterData, ReadWholeFile(temp / "f.bin"));
}

TEST_F(Resume, ARerunThatCannotFetchTheNewVersionLeavesTheOldFileAsItWas)
{
    const std::string data = GeneratedData(40, 1 << 20);
    HttpResponse response = HttpResponse::Ok(data);
    response.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    server.Serve("/f.bin", response);
    ASSERT_EQ(S_OK, Download("f.bin"));
    const FILETIME stored = WriteTime(temp / "f.bin");

    // A new version that never arrives whole.
    response.body = GeneratedData(41, 9 << 20);
    response.lastModified = "Wed, 02 Dec 2026 10:00:00 GMT";
    response.closeAfterBytes = 1 << 20;
    response.ignoreRanges = true;
    server.Serve("/f.bin", response);
    EXPECT_EQ(E_FAIL, Download("f.bin"));
    EXPECT_EQ(data, ReadWholeFile(temp / "f.bin"));
    EXPECT_TRUE(SameTime(stored, WriteTime(temp / "f.bin")));
    EXPECT_FALSE(FileExists(temp / "f.bin.part"));
}

TEST_F(Resume, APackOnAFarmWhoseNodesDateItDifferentlyResumesAndRerunsByItsOwnBytes)
{
    // Two nodes serve the same bytes under ETags and dates of their own, in turn; the
    // first answer drops, the next two connections close unanswered, the next drops too.
    PackLayout layout = TwoFiles(3);
    std::string pack = BuildPack(layout);
    HttpResponse response = HttpResponse::Ok(pack);
    response.nodes = {{"\"a-1\"", "Tue, 01 Dec 2026 10:00:00 GMT"}, {"\"b-2\"", "Wed, 02 Dec 2026 11:00:01 GMT"}};
    response.closeAfterBytes = 2 << 20;
    response.faultyAnswers = 4;
    response.silentFrom = 1;
    response.silentCount = 2;
    server.Serve("/a.pack", response);
    ULONGLONG received = 0;
    ASSERT_EQ(S_OK, Extract("a.pack", &received));
    ExpectUnpacked(layout, temp / "kit");
    EXPECT_LE(received, pack.size() * 105 / 100);
    for (const HttpRequestRecord& request : server.Requests())
        EXPECT_FALSE(request.HasHeader("If-Range"));

    // A rerun over the complete kit: its header and its table, from either node.
    size_t before = server.RequestCount();
    ASSERT_EQ(S_OK, Extract("a.pack", &received));
    EXPECT_EQ(before + 2, server.RequestCount());
    EXPECT_EQ(DataOffset(layout, 0), received);

    // Both nodes changed: the rerun ends with the new kit, exact.
    PackLayout later = TwoFiles(8);
    later.files[1].data = GeneratedData(9, 4 << 20);
    response.body = BuildPack(later);
    server.Serve("/a.pack", response);
    ASSERT_EQ(S_OK, Extract("a.pack"));
    ExpectUnpacked(later, temp / "kit");
}
