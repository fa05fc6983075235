// What the unpack adds per file: a pack of many small files (20 folders of 1,000 files of
// 4 KiB) unpacked from a local source and over loopback HTTP, against a loop of the
// benchmark's own that makes the same folders and makes the same calls per file
// (CreateFileA, WriteFile, SetFileTime, CloseHandle); and its second run into the
// complete folder, every file kept, against a loop that looks at, opens, reads and closes
// each file. Paired rounds, each into new folders; the ratios' median and spread.
//   smallfiles_bench.exe [--rounds N] [--folders F] [--files-per-folder N] [--file-kib K]
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
#include <string>
#include <vector>

#include "CancelToken.h"
#include "FileSource.h"
#include "HttpTestServer.h"
#include "PackExtract.h"
#include "PackStream.h"
#include "PackWriter.h"
#include "ProgressSink.h"
#include "ServerAccess.h"
#include "TestFiles.h"

namespace {

struct Options {
    long rounds = 3;
    long folders = 20;
    long filesPerFolder = 1000;
    long fileKib = 4;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        long* value = !strcmp(argv[i], "--rounds")             ? &options.rounds
                      : !strcmp(argv[i], "--folders")          ? &options.folders
                      : !strcmp(argv[i], "--files-per-folder") ? &options.filesPerFolder
                      : !strcmp(argv[i], "--file-kib")         ? &options.fileKib
                                                               : nullptr;
        if (!value || i + 1 == argc)
            return false;
        *value = strtol(argv[++i], nullptr, 10);
    }
    return options.rounds > 0 && options.folders > 0 && options.filesPerFolder > 0 && options.fileKib > 0;
}

template <typename Work>
double SecondsFor(Work work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char kPackName[] = "small";

std::string FolderName(long folder)
{
    char name[16];
    snprintf(name, sizeof(name), "d%02ld", folder);
    return name;
}

std::string FileName(long folder, long file)
{
    char name[32];
    snprintf(name, sizeof(name), "d%02ld\\f%04ld.bin", folder, file);
    return name;
}

PackLayout SmallFiles(const Options& options)
{
    PackLayout layout;
    layout.packName = kPackName;
    for (long folder = 0; folder < options.folders; ++folder) {
        for (long file = 0; file < options.filesPerFolder; ++file) {
            PackedFile packed = PackFile(FileName(folder, file), GeneratedData(static_cast<uint32_t>(folder * 7919 + file),
                                                                                  options.fileKib * 1024));
            packed.time = MakeFileTime(0x01D5000000000000ull + static_cast<ULONGLONG>(file) * 10000000ull);
            layout.files.push_back(packed);
        }
    }
    return layout;
}

// The calls an unpack of these files cannot do without.
bool BareWrite(const PackLayout& layout, const std::string& target)
{
    const std::string root = target + "\\" + kPackName;
    if (!CreateDirectoryA(target.c_str(), NULL) || !CreateDirectoryA(root.c_str(), NULL))
        return false;
    std::string made;
    for (const PackedFile& file : layout.files) {
        const std::string folder = file.name.substr(0, file.name.find('\\'));
        if (folder != made && !CreateDirectoryA((root + "\\" + folder).c_str(), NULL))
            return false;
        made = folder;
        HANDLE output = CreateFileA((root + "\\" + file.name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written = 0;
        const bool ok = output != INVALID_HANDLE_VALUE &&
                        WriteFile(output, file.data.data(), static_cast<DWORD>(file.data.size()), &written, NULL) &&
                        SetFileTime(output, &file.time, &file.time, &file.time);
        if (output != INVALID_HANDLE_VALUE)
            CloseHandle(output);
        if (!ok)
            return false;
    }
    return true;
}

// The calls a second run cannot do without: look at, open, read and close each file.
bool BareRead(const PackLayout& layout, const std::string& target)
{
    std::vector<char> buffer(1 << 20);
    const std::string root = target + "\\" + kPackName + "\\";
    for (const PackedFile& file : layout.files) {
        const std::string path = root + file.name;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
        HANDLE input = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD got = 0;
        const bool ok = input != INVALID_HANDLE_VALUE &&
                        ReadFile(input, buffer.data(), static_cast<DWORD>(buffer.size()), &got, NULL);
        if (input != INVALID_HANDLE_VALUE)
            CloseHandle(input);
        if (!ok)
            return false;
    }
    return true;
}

HRESULT Unpack(ByteSource& source, const std::string& target)
{
    CancelToken never;
    NoProgress unseen;
    CreateDirectoryA(target.c_str(), NULL);
    return ExtractPack(source, target.c_str(), nullptr, unseen, never);
}

std::string MedianAndSpread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    char text[64];
    snprintf(text, sizeof(text), "%.2f (%.2f to %.2f)", median, values.front(), values.back());
    return text;
}

// The machine's own speeds now: MD5 over 256 MiB, and 256 MiB written to a new file.
void PrintMachineSpeeds(const std::string& folder)
{
    const std::string piece = GeneratedData(1, 4 << 20);
    CryptoPP::Weak1::MD5 md5;
    CryptoPP::byte digest[CryptoPP::Weak1::MD5::DIGESTSIZE];
    const double md5Seconds = SecondsFor([&] {
        for (int i = 0; i < 64; ++i)
            md5.Update(reinterpret_cast<const CryptoPP::byte*>(piece.data()), piece.size());
        md5.Final(digest);
    });
    const std::string path = folder + "\\write.bin";
    const double writeSeconds = SecondsFor([&] {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        for (int i = 0; i < 64; ++i) {
            DWORD written = 0;
            WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, NULL);
        }
        CloseHandle(file);
    });
    DeleteFileA(path.c_str());
    printf("machine: md5 %.0f MB/s, write %.0f MB/s\n", 256 * 1048576 / 1e6 / md5Seconds,
           256 * 1048576 / 1e6 / writeSeconds);
}

int Run(const Options& options)
{
    TempDir temp;
    const PackLayout layout = SmallFiles(options);
    const std::string packPath = temp / "small.pack";
    if (!WriteWholeFile(packPath, BuildPack(layout))) {
        fprintf(stderr, "cannot write %s\n", packPath.c_str());
        return 1;
    }
    HttpTestServer server;
    HttpResponse response;
    response.bodyFile = packPath;
    response.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    server.Serve("/small.pack", response);
    HINTERNET session = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);

    printf("%zu files of %ld KiB in %ld folders\n", layout.files.size(), options.fileKib, options.folders);
    PrintMachineSpeeds(temp.Path());
    std::vector<double> local;
    std::vector<double> http;
    std::vector<double> rerun;
    for (long round = 1; round <= options.rounds; ++round) {
        const std::string prefix = temp / ("round" + std::to_string(round));
        double bare = 0;
        double ours = 0;
        double overHttp = 0;
        bool ok = true;
        auto measureBare = [&] { bare = SecondsFor([&] { ok = BareWrite(layout, prefix + "-bare") && ok; }); };
        auto measureLocal = [&] {
            FileSource file(packPath);
            ours = SecondsFor([&] { ok = SUCCEEDED(Unpack(file, prefix + "-local")) && ok; });
        };
        auto measureHttp = [&] {
            CancelToken never;
            NoProgress unseen;
            PackStream stream(TransferEnv{session, never, unseen, RetrySettings()}, server.Url("/small.pack").c_str());
            overHttp = SecondsFor([&] { ok = SUCCEEDED(Unpack(stream, prefix + "-http")) && ok; });
        };
        // Each in turn first.
        if (round % 2) {
            measureBare();
            measureLocal();
            measureHttp();
        } else {
            measureHttp();
            measureLocal();
            measureBare();
        }
        double bareRead = 0;
        double again = 0;
        auto measureBareRead = [&] { bareRead = SecondsFor([&] { ok = BareRead(layout, prefix + "-local") && ok; }); };
        auto measureRerun = [&] {
            FileSource file(packPath);
            again = SecondsFor([&] { ok = SUCCEEDED(Unpack(file, prefix + "-local")) && ok; });
        };
        if (round % 2) {
            measureBareRead();
            measureRerun();
        } else {
            measureRerun();
            measureBareRead();
        }
        if (!ok) {
            fprintf(stderr, "round %ld failed\n", round);
            return 1;
        }
        local.push_back(ours / bare);
        http.push_back(overHttp / bare);
        rerun.push_back(again / bareRead);
        printf("round %ld: bare calls %.2f s, unpack local %.2f s (%.2f), over HTTP %.2f s (%.2f); "
               "bare look-open-read-close %.2f s, second run %.2f s (%.2f)\n",
               round, bare, ours, ours / bare, overHttp, overHttp / bare, bareRead, again, again / bareRead);
    }
    InternetCloseHandle(session);
    printf("unpack against the bare calls: local %s (goal <= 1.2), over HTTP %s (goal <= 1.2)\n",
           MedianAndSpread(local).c_str(), MedianAndSpread(http).c_str());
    printf("second run against the bare look-open-read-close loop: %s (goal <= 1.2)\n", MedianAndSpread(rerun).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: smallfiles_bench [--rounds N] [--folders F] [--files-per-folder N] [--file-kib K]\n");
        return 2;
    }
    return Run(options);
}
