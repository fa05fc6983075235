// Times the kit job and the offline-update job against a real server, with the private
// memory they add to the process; scripts/bench.sh serves the site, runs curl for the
// same items and prints the comparison.
//   job_bench generate <cache folder> <base URL> [--databases N] [--database-mib M] [--initial-mib M]
//   job_bench kit <catalogue URL> <target folder>
//   job_bench offline <catalogue URL> <target folder>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "CatalogText.h"
#include "CatalogUrl.h"
#include "DialogHarness.h"
#include "PackWriter.h"
#include "PrivateUsage.h"
#include "TestFiles.h"

namespace {

const int kKitCode = 65;
const double kMebibyte = 1024.0 * 1024.0;

struct SiteOptions {
    long databases = 14;
    long databaseMib = 64;
    long initialMib = 128;
};

bool ParseSiteOptions(int argc, char** argv, int first, SiteOptions& options)
{
    for (int i = first; i < argc; ++i) {
        long* value = !strcmp(argv[i], "--databases")      ? &options.databases
                      : !strcmp(argv[i], "--database-mib") ? &options.databaseMib
                      : !strcmp(argv[i], "--initial-mib")  ? &options.initialMib
                                                           : nullptr;
        if (!value || i + 1 == argc)
            return false;
        *value = strtol(argv[++i], nullptr, 10);
    }
    return options.databases > 0 && options.databases < 100 && options.databaseMib > 0 &&
           options.databaseMib < 4096 && options.initialMib > 0 && options.initialMib < 4096;
}

FILETIME SiteTime(int day)
{
    SYSTEMTIME time = {2024, 3, 0, static_cast<WORD>(1 + day), 9, 30, 0, 0};
    FILETIME result;
    SystemTimeToFileTime(&time, &result);
    return result;
}

PackFileSpec Generated(const std::string& name, uint64_t size, uint32_t seed)
{
    PackFileSpec file = PackFile(name, "", SiteTime(static_cast<int>(seed % 28)));
    file.generatedSize = size;
    file.seed = seed;
    return file;
}

// A pack's bytes split like a real one's: one big file, one of half its size, and a
// run of small ones, plus the pack's list or text file.
void AddFiles(PackSpec& spec, const std::string& prefix, uint64_t bytes, uint32_t& seed)
{
    const int smallCount = 16;
    spec.files.push_back(Generated(prefix + "main.dat", bytes / 2, seed++));
    spec.files.push_back(Generated(prefix + "index.dat", bytes / 4, seed++));
    for (int i = 0; i < smallCount; ++i)
        spec.files.push_back(Generated(prefix + "part" + std::to_string(i) + ".dat", bytes / 4 / smallCount, seed++));
}

struct SitePack {
    std::string path;  // relative to the base URL; flat, as the offline update stores it
    PackSpec spec;
};

struct Site {
    SitePack initial;
    std::vector<SitePack> databases;
    std::vector<CatalogEntry> catalogDatabases;
    std::vector<CatalogEntry> catalogFiles;
    std::vector<std::pair<std::string, std::string>> plainFiles;  // path, data
};

Site DescribeSite(const SiteOptions& options)
{
    Site site;
    uint32_t seed = 1;
    site.initial.path = "initial.pack";
    site.initial.spec.packName = "Программа";
    site.initial.spec.files.push_back(PackFile("readme.txt", "Комплект для замера загрузки.\r\n", SiteTime(0)));
    AddFiles(site.initial.spec, "bin\\", static_cast<uint64_t>(options.initialMib) << 20, seed);

    // Every database is in kit 65: through its own code, a list with another code, or no list.
    static const char* const access[] = {"-", "65", "161, 65"};
    for (long i = 0; i < options.databases; ++i) {
        char number[8];
        snprintf(number, sizeof(number), "%02ld", i + 1);
        SitePack pack;
        pack.path = std::string("db") + number + ".pack";
        pack.spec.packName = std::string("База ") + number;
        pack.spec.files.push_back(PackFile(pack.spec.packName + ".ini", "[База]\r\n", SiteTime(1)));
        AddFiles(pack.spec, "data\\", static_cast<uint64_t>(options.databaseMib) << 20, seed);
        site.catalogDatabases.push_back({pack.spec.packName, pack.path, access[i % 3]});
        site.databases.push_back(pack);
    }

    site.plainFiles.push_back({"update.exe", GeneratedData(seed++, static_cast<uint64_t>(options.initialMib) << 17)});
    site.plainFiles.push_back({"changes.txt", "Версия 2024.3\r\n"});
    site.catalogFiles = {{"Обновление программы", "update.exe"}, {"Список изменений", "changes.txt"}};
    return site;
}

uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return UINT64_MAX;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return WriteWholeFile(path, text);
}

// Packs that are already there with their size are kept; latest.xml (which names the
// server's port) and the lists of what each job fetches are written every time.
int Generate(const std::string& cache, const std::string& base, const SiteOptions& options)
{
    const std::string update = cache + "\\site\\ulvooffline\\update";
    for (const std::string& dir : {cache, cache + "\\site", cache + "\\site\\ulvooffline", update})
        CreateDirectoryA(dir.c_str(), NULL);
    Site site = DescribeSite(options);

    std::vector<const SitePack*> packs = {&site.initial};
    for (const SitePack& pack : site.databases)
        packs.push_back(&pack);
    uint64_t written = 0;
    for (const SitePack* pack : packs) {
        const std::string path = update + "\\" + pack->path;
        if (FileSize(path) == PackSize(pack->spec))
            continue;
        if (!WritePackFile(path, pack->spec)) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        written += PackSize(pack->spec);
    }
    bool ok = true;
    for (const auto& file : site.plainFiles) {
        const std::string path = update + "\\" + file.first;
        if (FileSize(path) != file.second.size())
            ok = ok && WriteWholeFile(path, file.second);
    }

    std::vector<std::string> kitPaths = {site.initial.path};
    std::vector<std::string> offlinePaths;
    for (const CatalogEntry& file : site.catalogFiles)
        offlinePaths.push_back(file.path);
    for (const SitePack& pack : site.databases) {
        kitPaths.push_back(pack.path);
        offlinePaths.push_back(pack.path);
    }
    ok = ok && WriteWholeFile(update + "\\latest.xml", CatalogXml(base, site.catalogDatabases, site.catalogFiles));
    ok = ok && WriteLines(cache + "\\kit-paths.txt", kitPaths) && WriteLines(cache + "\\offline-paths.txt", offlinePaths);
    if (!ok) {
        fprintf(stderr, "cannot write the site below %s\n", cache.c_str());
        return 1;
    }
    printf("site: initial.pack %ld MiB and %ld databases x %ld MiB of data, kit %d; %.1f MiB written now\n",
           options.initialMib, options.databases, options.databaseMib, kKitCode, written / kMebibyte);
    return 0;
}

// Runs one job as the dialog does once the user has pressed OK: the catalogue fetched on
// this thread, then the job on a worker while this thread pumps the controls' messages.
int RunJob(bool kit, const std::string& catalogUrl, const std::string& target)
{
    if (FAILED(CoInitialize(NULL)))
        return 1;
    int status = 1;
    {
        DialogHarness harness;
        harness.dialog.targetFolder = target.c_str();
        SetCatalogUrlForTests(catalogUrl.c_str());

        auto fetchStart = std::chrono::steady_clock::now();
        HRESULT hr = harness.dialog.FetchCatalog();
        double fetchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fetchStart).count();
        if (FAILED(hr)) {
            fprintf(stderr, "catalogue fetch from %s failed: 0x%08lx\n", catalogUrl.c_str(), hr);
        } else {
            double jobSeconds = 0;
            PrivateUsagePeak memory;
            hr = harness.RunOnWorker([&] {
                auto start = std::chrono::steady_clock::now();
                HRESULT result = kit ? harness.dialog.RunKitJob(kKitCode) : harness.dialog.RunOfflineUpdateJob();
                jobSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                return result;
            });
            SIZE_T peak = memory.Peak();
            if (hr != S_OK) {
                fprintf(stderr, "%s job failed: 0x%08lx\n", kit ? "kit" : "offline-update", hr);
            } else {
                // For the runner: one line of figures.
                printf("seconds=%.3f fetch=%.3f baseline=%llu peak=%llu\n", jobSeconds, fetchSeconds,
                       static_cast<unsigned long long>(memory.Baseline()), static_cast<unsigned long long>(peak));
                status = 0;
            }
        }
        SetCatalogUrlForTests(nullptr);
    }
    CoUninitialize();
    return status;
}

void Usage()
{
    fprintf(stderr,
            "usage: job_bench generate <cache folder> <base URL> [--databases N] [--database-mib M] "
            "[--initial-mib M]\n"
            "       job_bench kit|offline <catalogue URL> <target folder>\n");
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 4 && !strcmp(argv[1], "generate")) {
            SiteOptions options;
            if (!ParseSiteOptions(argc, argv, 4, options)) {
                Usage();
                return 2;
            }
            return Generate(argv[2], argv[3], options);
        }
        if (argc == 4 && (!strcmp(argv[1], "kit") || !strcmp(argv[1], "offline")))
            return RunJob(!strcmp(argv[1], "kit"), argv[2], argv[3]);
        Usage();
        return 2;
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
