// Times the kit job and the offline-update job against a real server, with the private
// memory they add to the process; scripts/bench.sh serves the site, runs curl for the
// same items and prints the comparison.
//   job_bench generate <cache folder> <base URL> [--databases N] [--database-mib M] [--initial-mib M]
//   job_bench kit|offline <catalogue URL> <target folder> [--breakdown]
#include <windows.h>
#include <objbase.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "SampleSite.h"
#include "TestCatalogUrl.h"
#include "DialogHarness.h"
#include "PackWriter.h"
#include "PrivateMemory.h"
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

// A pack's bytes split like a real one's: one big file, one of half its size, and a
// run of small ones, plus the pack's list or text file.
void AddFiles(PackLayout& layout, const std::string& prefix, uint64_t bytes, uint32_t& seed)
{
    const int smallCount = 16;
    auto generated = [&](const std::string& name, uint64_t size) {
        layout.files.push_back(GeneratedFile(prefix + name, size, seed, static_cast<int>(seed % 28)));
        ++seed;
    };
    generated("main.dat", bytes / 2);
    generated("index.dat", bytes / 4);
    for (int i = 0; i < smallCount; ++i)
        generated("part" + std::to_string(i) + ".dat", bytes / 4 / smallCount);
}

SampleSite DescribeSite(const SiteOptions& options)
{
    SampleSite site;
    uint32_t seed = 1;
    site.initial.path = "initial.pack";
    site.initial.layout.packName = "Программа";
    site.initial.layout.files.push_back(PackFile("readme.txt", "Комплект для замера загрузки.\r\n", SiteTime(0)));
    AddFiles(site.initial.layout, "bin\\", static_cast<uint64_t>(options.initialMib) << 20, seed);

    // Every database is in kit 65: through its own code, a list with another code, or no list.
    static const char* const access[] = {"-", "65", "161, 65"};
    for (long i = 0; i < options.databases; ++i) {
        char number[8];
        snprintf(number, sizeof(number), "%02ld", i + 1);
        SitePack pack;
        pack.path = std::string("db") + number + ".pack";
        pack.layout.packName = std::string("База ") + number;
        pack.layout.files.push_back(PackFile(pack.layout.packName + ".ini", "[База]\r\n", SiteTime(1)));
        AddFiles(pack.layout, "data\\", static_cast<uint64_t>(options.databaseMib) << 20, seed);
        pack.access = access[i % 3];
        site.databases.push_back(pack);
    }

    site.files.push_back({{"Обновление программы", "update.exe"},
                          GeneratedData(seed++, static_cast<uint64_t>(options.initialMib) << 17)});
    site.files.push_back({{"Список изменений", "changes.txt"}, "Версия 2024.3\r\n"});
    return site;
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
    CreateDirectoryA(cache.c_str(), NULL);
    const SampleSite site = DescribeSite(options);
    uint64_t written = 0;
    bool ok = WriteSampleSite(cache + "\\site", base, site, &written);
    std::vector<std::string> kitPaths = {site.initial.path};
    std::vector<std::string> offlinePaths;
    for (const SamplePlainFile& file : site.files)
        offlinePaths.push_back(file.entry.path);
    for (const SitePack& pack : site.databases) {
        kitPaths.push_back(pack.path);
        offlinePaths.push_back(pack.path);
    }
    ok = ok && WriteLines(cache + "\\kit-paths.txt", kitPaths) &&
         WriteLines(cache + "\\offline-paths.txt", offlinePaths);
    if (!ok) {
        fprintf(stderr, "cannot write the site below %s\n", cache.c_str());
        return 1;
    }
    printf("site: initial.pack %ld MiB and %ld databases x %ld MiB of data, kit %d; %.1f MiB written now\n",
           options.initialMib, options.databases, options.databaseMib, kKitCode, written / kMebibyte);
    return 0;
}

// Where the worker's time goes, without touching the product: the import table of this
// program, into which the product is linked unchanged, is pointed at wrappers that time
// each call the worker thread makes. What no wrapper sees is the job's own computing,
// mostly MD5.
enum CallGroup { kRequest, kReceive, kWrite, kCreate, kClose, kWindow, kGroupCount };
const char* const kGroupNames[kGroupCount] = {
    "open URL + query headers (InternetOpenUrlA, HttpQueryInfoA)",
    "receive (InternetReadFile)",
    "write (WriteFile)",
    "create files and folders (CreateFileA, CreateDirectoryA, GetFileAttributesA, ...)",
    "close and stamp (CloseHandle, SetFileTime, InternetCloseHandle)",
    "captions and progress (SendMessageA, SetWindowTextA)",
};
std::atomic<DWORD> timedThread{0};
std::atomic<long long> groupNanoseconds[kGroupCount];
std::atomic<long> groupCalls[kGroupCount];

// Calls of the worker that failed, by name, with the last error of the first of each:
// what made a job fail.
struct FailedCall {
    const char* name;
    long count;
    DWORD firstError;
};
FailedCall failedCalls[32];
int failedCallCount = 0;  // only the worker writes, and it is joined before the print
void NoteFailure(const char* name)
{
    DWORD error = GetLastError();
    int i = 0;
    while (i < failedCallCount && failedCalls[i].name != name)
        ++i;
    if (i == failedCallCount && i < 32)
        failedCalls[failedCallCount++] = {name, 0, error};
    if (i < 32)
        ++failedCalls[i].count;
    SetLastError(error);
}
void PrintFailedCalls()
{
    for (int i = 0; i < failedCallCount; ++i)
        printf("    failed calls: %s x %ld (first with last error %lu)\n", failedCalls[i].name, failedCalls[i].count,
               failedCalls[i].firstError);
}
bool Failed(BOOL result) { return !result; }
bool Failed(void* handle) { return !handle || handle == INVALID_HANDLE_VALUE; }
template <typename Other>
bool Failed(Other) { return false; }  // attributes, drive types, message results: no failure value

// One instance per wrapped function (`Id`): CloseHandle and InternetCloseHandle, for
// one, have the same type. The wrappers keep the system's calling convention (WINAPI),
// which on 32-bit Windows differs from a plain function's.
template <int Id, int Group, typename Function>
struct Timed;
template <int Id, int Group, typename Result, typename... Args>
struct Timed<Id, Group, Result (WINAPI*)(Args...)> {
    static inline Result (WINAPI* original)(Args...) = nullptr;
    static inline const char* name = nullptr;
    static Result WINAPI Call(Args... args)
    {
        if (GetCurrentThreadId() != timedThread.load(std::memory_order_relaxed))
            return original(args...);
        auto start = std::chrono::steady_clock::now();
        Result result = original(args...);
        groupNanoseconds[Group] += std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::steady_clock::now() - start).count();
        ++groupCalls[Group];
        if (Failed(result))
            NoteFailure(name);
        return result;
    }
};

// Points this program's import of `function` from `dll` at `hook`; false when not imported.
bool PatchImport(const char* dll, const char* function, void* hook, void** original)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name;
         ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0 || !module->OriginalFirstThunk)
            continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                strcmp(reinterpret_cast<const char*>(
                           reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name),
                       function) != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
            *original = reinterpret_cast<void*>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
            return true;
        }
    }
    return false;
}

template <int Id, int Group, typename Function>
bool Time(const char* dll, const char* name, Function)
{
    using Wrapper = Timed<Id, Group, Function>;
    Wrapper::name = name;
    return PatchImport(dll, name, reinterpret_cast<void*>(&Wrapper::Call),
                       reinterpret_cast<void**>(&Wrapper::original));
}

#define TIME(group, dll, function) Time<__COUNTER__, group>(dll, #function, &function)
bool TimeSystemCalls()
{
    return TIME(kRequest, "WININET.dll", InternetOpenUrlA) &&
           TIME(kRequest, "WININET.dll", HttpQueryInfoA) &&
           TIME(kReceive, "WININET.dll", InternetReadFile) &&
           TIME(kWrite, "KERNEL32.dll", WriteFile) &&
           TIME(kCreate, "KERNEL32.dll", CreateFileA) &&
           TIME(kCreate, "KERNEL32.dll", CreateDirectoryA) &&
           TIME(kCreate, "KERNEL32.dll", GetFileAttributesA) &&
           TIME(kCreate, "KERNEL32.dll", GetFullPathNameA) &&
           TIME(kCreate, "KERNEL32.dll", GetDriveTypeA) &&
           TIME(kClose, "KERNEL32.dll", CloseHandle) &&
           TIME(kClose, "KERNEL32.dll", SetFileTime) &&
           TIME(kClose, "WININET.dll", InternetCloseHandle) &&
           TIME(kWindow, "USER32.dll", SendMessageA) &&
           TIME(kWindow, "USER32.dll", SetWindowTextA);
}
#undef TIME

double Seconds(const FILETIME& time)
{
    return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}

void PrintBreakdown(double jobSeconds, double userSeconds, double kernelSeconds)
{
    double timed = 0;
    printf("    where the worker's %.2f s went:\n", jobSeconds);
    for (int group = 0; group < kGroupCount; ++group) {
        double seconds = groupNanoseconds[group] / 1e9;
        timed += seconds;
        printf("      %6.2f s %5.1f %%  %6ld calls  %s\n", seconds, 100 * seconds / jobSeconds, groupCalls[group].load(),
               kGroupNames[group]);
    }
    printf("      %6.2f s %5.1f %%                between those calls (waiting for a free chunk buffer while the\n"
           "                                        writer and the hasher work; copies)\n",
           jobSeconds - timed, 100 * (jobSeconds - timed) / jobSeconds);
    printf("    worker thread CPU: user %.2f s, kernel %.2f s\n", userSeconds, kernelSeconds);
}

// Runs one job as the dialog does once the user has pressed OK: the catalogue fetched on
// this thread, then the job on a worker while this thread pumps the controls' messages.
int RunJob(bool kit, const std::string& catalogUrl, const std::string& target, bool breakdown)
{
    if (breakdown && !TimeSystemCalls()) {
        fprintf(stderr, "cannot time the system calls: an import is missing\n");
        return 1;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;
    int status = 1;
    {
        DialogHarness harness;
        // The program's own waits and timeouts, not the tests' quick ones.
        harness.dialog.retrySettings = RetrySettings();
        harness.dialog.targetFolder = target.c_str();
        SetTestCatalogUrl(catalogUrl.c_str());

        auto fetchStart = std::chrono::steady_clock::now();
        HRESULT hr = harness.dialog.FetchCatalog();
        double fetchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fetchStart).count();
        if (FAILED(hr)) {
            fprintf(stderr, "catalogue fetch from %s failed: 0x%08lx\n", catalogUrl.c_str(), hr);
        } else {
            double jobSeconds = 0;
            FILETIME created, exited, kernel = {}, user = {};
            PrivateUsagePeak memory;
            hr = harness.RunOnWorker([&] {
                if (breakdown)
                    timedThread = GetCurrentThreadId();
                auto start = std::chrono::steady_clock::now();
                HRESULT result = kit ? harness.dialog.RunKitJob(kKitCode) : harness.dialog.RunOfflineUpdateJob();
                jobSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                timedThread = 0;
                GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
                return result;
            });
            SIZE_T peak = memory.Peak();
            if (breakdown)
                PrintFailedCalls();
            if (hr != S_OK) {
                fflush(stdout);
                fprintf(stderr, "%s job failed: 0x%08lx\n", kit ? "kit" : "offline-update", hr);
            } else {
                // For the runner: one line of figures.
                printf("seconds=%.3f fetch=%.3f baseline=%llu peak=%llu\n", jobSeconds, fetchSeconds,
                       static_cast<unsigned long long>(memory.Baseline()), static_cast<unsigned long long>(peak));
                if (breakdown)
                    PrintBreakdown(jobSeconds, Seconds(user), Seconds(kernel));
                status = 0;
            }
        }
        SetTestCatalogUrl(nullptr);
    }
    CoUninitialize();
    return status;
}

void Usage()
{
    fprintf(stderr,
            "usage: job_bench generate <cache folder> <base URL> [--databases N] [--database-mib M] "
            "[--initial-mib M]\n"
            "       job_bench kit|offline <catalogue URL> <target folder> [--breakdown]\n");
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
        bool breakdown = argc == 5 && !strcmp(argv[4], "--breakdown");
        if ((argc == 4 || breakdown) && (!strcmp(argv[1], "kit") || !strcmp(argv[1], "offline")))
            return RunJob(!strcmp(argv[1], "kit"), argv[2], argv[3], breakdown);
        Usage();
        return 2;
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
