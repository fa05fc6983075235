// Measures how fast a large pack unpacks from a local file and over loopback HTTP,
// against the limit that receiving, hashing and writing the same bytes set, and how
// much private memory an unpack adds to the process.
#include <winsock2.h>  // before windows.h, which the other headers bring in

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "HttpTestServer.h"
#include "CancelToken.h"
#include "FileSource.h"
#include "NetworkPiece.h"
#include "PackExtract.h"
#include "PackStream.h"
#include "ProgressSink.h"
#include "PackWriter.h"
#include "PrivateMemory.h"
#include "ServerAccess.h"
#include "TestFiles.h"

namespace {

const double kMegabyte = 1e6;
const double kMebibyte = 1024.0 * 1024.0;
const size_t kPieceSize = kTransferBufferSize;  // what the unpack moves per read
const double kThroughputGoal = 0.9;
const double kMemoryGoalMib = 16;

struct Options {
    long files = 64;
    long fileMib = 16;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        long* value = !strcmp(argv[i], "--files") ? &options.files
                      : !strcmp(argv[i], "--file-mib") ? &options.fileMib
                                                       : nullptr;
        if (!value || i + 1 == argc)
            return false;
        *value = strtol(argv[++i], nullptr, 10);
    }
    // An entry's size is a 32-bit field.
    return options.files > 0 && options.fileMib > 0 && options.fileMib < 4096;
}

template <typename Work>
double SecondsFor(Work work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Unpack {
    bool ok = false;
    double seconds = 0;
    SIZE_T baselineBytes = 0;
    SIZE_T peakBytes = 0;
};

// Unpacks like the kit job does: a source made, read and destroyed; without a session
// the pack's file is the source.
Unpack MeasureUnpack(const std::string& source, HINTERNET session, const std::string& target,
                     const RetrySettings& retry = RetrySettings(), ULONGLONG* received = nullptr)
{
    Unpack result;
    CreateDirectoryA(target.c_str(), NULL);
    PrivateUsagePeak memory;
    HRESULT hr = E_FAIL;
    result.seconds = SecondsFor([&] {
        CancelToken never;
        NoProgress unseen;
        if (!session) {
            FileSource file(source);
            hr = ExtractPack(file, target.c_str(), nullptr, unseen, never);
            return;
        }
        PackStream stream(TransferEnv{session, never, unseen, retry}, source.c_str());
        hr = ExtractPack(stream, target.c_str(), nullptr, unseen, never);
        if (received)
            *received = stream.BytesReceived();
    });
    result.baselineBytes = memory.Baseline();
    result.peakBytes = memory.Peak();
    result.ok = SUCCEEDED(hr);
    return result;
}

// The cost of MD5 does not depend on the values, so one piece of the pack's data,
// hashed over and over, stands for all of it.
double Md5Seconds(const std::string& piece, uint64_t total)
{
    CryptoPP::Weak1::MD5 md5;
    CryptoPP::byte digest[CryptoPP::Weak1::MD5::DIGESTSIZE];
    return SecondsFor([&] {
        for (uint64_t done = 0; done < total; done += piece.size()) {
            size_t size = static_cast<size_t>(std::min<uint64_t>(piece.size(), total - done));
            md5.Update(reinterpret_cast<const CryptoPP::byte*>(piece.data()), size);
        }
        md5.Final(digest);
    });
}

// Reading the whole source as the unpack does (network pieces over HTTP, whole chunks
// from a file) and dropping the bytes. Negative when the source cannot be read.
double ReceiveSeconds(const std::string& source, HINTERNET session, uint64_t expected)
{
    std::string buffer(kTransferBufferSize, '\0');
    uint64_t total = 0;
    bool ok = true;
    double seconds = SecondsFor([&] {
        CancelToken never;
        NoProgress unseen;
        std::unique_ptr<ByteSource> stream;
        if (session)
            stream.reset(new PackStream(TransferEnv{session, never, unseen, RetrySettings()}, source.c_str()));
        else
            stream.reset(new FileSource(source));
        ok = SUCCEEDED(stream->Open());
        // The largest network piece: what a fast link is read with.
        const DWORD piece = session ? NetworkPiece::kLargest : kTransferBufferSize;
        for (DWORD got = 1; ok && got > 0; total += got)
            ok = SUCCEEDED(stream->Read(&buffer[0], piece, &got));
    });
    return ok && total >= expected ? seconds : -1;
}

// Negative when the file cannot be written. The close is timed: it may flush.
double WriteSeconds(const std::string& piece, uint64_t total, const std::string& path)
{
    bool ok = true;
    double seconds = SecondsFor([&] {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        ok = file != INVALID_HANDLE_VALUE;
        for (uint64_t done = 0; ok && done < total; done += piece.size()) {
            DWORD size = static_cast<DWORD>(std::min<uint64_t>(piece.size(), total - done));
            DWORD written = 0;
            ok = WriteFile(file, piece.data(), size, &written, NULL) && written == size;
        }
        if (file != INVALID_HANDLE_VALUE)
            ok = CloseHandle(file) && ok;
    });
    return ok ? seconds : -1;
}

double MegabytesPerSecond(uint64_t bytes, double seconds)
{
    return static_cast<double>(bytes) / kMegabyte / seconds;
}

void PrintUnpack(const char* name, const Unpack& unpack, uint64_t bytes, double sequential, double pipeline)
{
    double speed = MegabytesPerSecond(bytes, unpack.seconds);
    printf("%-13s %8.1f MB/s   %4.2f of the pipeline's limit (goal >= %.1f: %s), %4.2f of the sequential one\n",
           name, speed, speed / pipeline, kThroughputGoal, speed / pipeline >= kThroughputGoal ? "met" : "MISSED",
           speed / sequential);
    double rise = (static_cast<double>(unpack.peakBytes) - static_cast<double>(unpack.baselineBytes)) / kMebibyte;
    printf("%-13s private memory peak %.1f MiB, baseline %.1f MiB: %+.1f MiB (goal <= %.0f: %s)\n", "",
           unpack.peakBytes / kMebibyte, unpack.baselineBytes / kMebibyte, rise, kMemoryGoalMib,
           rise <= kMemoryGoalMib ? "met" : "MISSED");
}

int Run(const Options& options)
{
    // Every output stays until the end, when the folder goes. On a virtual machine whose
    // balloon takes freed memory back within seconds, writing into page cache that a
    // deletion has just freed runs several times faster than writing into memory the
    // host must supply afresh; so no phase may inherit memory freed by the one before.
    TempDir temp;
    PackLayout layout;
    layout.packName = "Bench";
    for (long i = 0; i < options.files; ++i) {
        PackedFile file;
        file.name = "file" + std::to_string(i) + ".bin";
        file.generatedSize = static_cast<uint64_t>(options.fileMib) << 20;
        file.seed = static_cast<uint32_t>(i + 1);
        layout.files.push_back(file);
    }
    const uint64_t dataBytes = layout.files[0].generatedSize * layout.files.size();
    const std::string packPath = temp / "bench.pack";
    printf("Writing a pack of %ld files x %ld MiB (%llu data bytes; four times that on disk by the end)\n"
           "to %s\n", options.files, options.fileMib, static_cast<unsigned long long>(dataBytes), packPath.c_str());
    fflush(stdout);
    if (!WritePackFile(packPath, layout)) {
        fprintf(stderr, "cannot write %s\n", packPath.c_str());
        return 1;
    }

    HttpTestServer server;
    HttpResponse response;
    response.bodyFile = packPath;
    server.Serve("/bench.pack", response);
    HINTERNET session = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
    if (!session) {
        fprintf(stderr, "InternetOpenA failed: %lu\n", GetLastError());
        return 1;
    }
    Unpack local = MeasureUnpack(packPath, NULL, temp / "local");
    Unpack http = MeasureUnpack(server.Url("/bench.pack"), session, temp / "http");
    const uint64_t packBytes = PackSize(layout);
    double fileReadSeconds = ReceiveSeconds(packPath, NULL, packBytes);
    double receiveSeconds = ReceiveSeconds(server.Url("/bench.pack"), session, packBytes);

    // A link that drops every 8 MiB, against the same pack over a clean one. The program
    // waits a second before each reconnection; here the waits are left out, so that the
    // figure shows what resuming itself costs.
    PackLayout small;
    small.packName = "Drops";
    for (int i = 0; i < 4; ++i) {
        PackedFile file = layout.files[0];
        file.name = "file" + std::to_string(i) + ".bin";
        file.generatedSize = 16 << 20;
        file.seed = static_cast<uint32_t>(100 + i);
        small.files.push_back(file);
    }
    const std::string smallPath = temp / "drops.pack";
    if (!WritePackFile(smallPath, small)) {
        fprintf(stderr, "cannot write %s\n", smallPath.c_str());
        return 1;
    }
    HttpResponse dropping;
    dropping.bodyFile = smallPath;
    dropping.etag = "\"drops\"";
    server.Serve("/clean.pack", dropping);
    dropping.closeAfterBytes = 8 << 20;
    server.Serve("/drops.pack", dropping);
    // The program's own waits: each drop costs its 1 s wait.
    const RetrySettings programs;
    ULONGLONG cleanReceived = 0;
    ULONGLONG droppedReceived = 0;
    const size_t requestsBefore = server.RequestCount();
    Unpack clean = MeasureUnpack(server.Url("/clean.pack"), session, temp / "clean", programs, &cleanReceived);
    Unpack dropped = MeasureUnpack(server.Url("/drops.pack"), session, temp / "drops", programs, &droppedReceived);
    const size_t droppedRequests = server.RequestCount() - requestsBefore - 1;
    InternetCloseHandle(session);
    if (!local.ok || !http.ok || !clean.ok || !dropped.ok || fileReadSeconds < 0 || receiveSeconds < 0) {
        fprintf(stderr, "unpack failed: local %s, http %s\n", local.ok ? "ok" : "FAILED", http.ok ? "ok" : "FAILED");
        return 1;
    }

    const std::string piece = GeneratedData(layout.files[0].seed, std::min<uint64_t>(kPieceSize, dataBytes));
    double md5 = MegabytesPerSecond(dataBytes, Md5Seconds(piece, dataBytes));
    double writeSeconds = WriteSeconds(piece, dataBytes, temp / "write.bin");
    if (writeSeconds < 0) {
        fprintf(stderr, "cannot write the test file in %s\n", temp.Path().c_str());
        return 1;
    }
    double write = MegabytesPerSecond(dataBytes, writeSeconds);
    double fileRead = MegabytesPerSecond(dataBytes, fileReadSeconds);
    double receive = MegabytesPerSecond(dataBytes, receiveSeconds);
    // One thread that receives, hashes and writes each chunk in turn takes at least the
    // sum of the three times; three stages that overlap, at least the slowest one's.
    double localSequential = 1 / (1 / fileRead + 1 / md5 + 1 / write);
    double httpSequential = 1 / (1 / receive + 1 / md5 + 1 / write);
    double localPipeline = std::min(fileRead, std::min(md5, write));
    double httpPipeline = std::min(receive, std::min(md5, write));

    printf("Throughput over the data bytes (1 MB = 10^6 bytes):\n");
    printf("%-13s %8.1f MB/s\n", "md5", md5);
    printf("%-13s %8.1f MB/s\n", "write", write);
    printf("%-13s %8.1f MB/s   the pack read from its file\n", "file read", fileRead);
    printf("%-13s %8.1f MB/s   the pack received over loopback HTTP in %lu KiB pieces\n", "receive", receive,
           static_cast<unsigned long>(NetworkPiece::kLargest >> 10));
    printf("%-13s %8.1f MB/s local, %8.1f MB/s http   the slowest stage: min(read, md5, write)\n",
           "pipeline limit", localPipeline, httpPipeline);
    printf("%-13s %8.1f MB/s local, %8.1f MB/s http   1 / (1/read + 1/md5 + 1/write)\n", "sequential",
           localSequential, httpSequential);
    PrintUnpack("local unpack", local, dataBytes, localSequential, localPipeline);
    PrintUnpack("http unpack", http, dataBytes, httpSequential, httpPipeline);
    const double smallBytes = static_cast<double>(PackSize(small));
    printf("%-13s 64 MiB pack cut every 8 MiB: %zu requests, received %.4f x the pack (goal <= 1.02: %s); "
           "%.2f s against %.2f s on a clean link (ratio %.2f; the program adds 1 s of waiting per drop)\n",
           "drops", droppedRequests, droppedReceived / smallBytes, droppedReceived / smallBytes <= 1.02 ? "met" : "MISSED",
           dropped.seconds, clean.seconds, dropped.seconds / clean.seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: pack_bench [--files N] [--file-mib M]   (default 64 x 16 MiB, M below 4096)\n");
        return 2;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {  // unwinding removes the temporary files
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
