// Mutated packs unpacked from a local file: each run either succeeds with every file exactly as
// its entry says, or fails; nothing lands outside the target, and memory stays within the
// entry table and one chunk buffer.
// The server first: winsock2.h must come before windows.h.
#include "HttpTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "FuzzSupport.h"
#include "CancelToken.h"
#include "ChunkPipeline.h"
#include "MemorySource.h"
#include "PackExtract.h"
#include "PackFormat.h"
#include "PackStream.h"
#include "PackWriter.h"
#include "PrivateMemory.h"
#include "ProgressRecorder.h"
#include "ServerAccess.h"
#include "StdoutCapture.h"
#include "TestAllocator.h"
#include "TestFiles.h"

namespace {

const int kCiCases = 300;
const uint64_t kCiFirstSeed = 0x9AC0000;
const SIZE_T kChunkSize = 4u << 20;
// Beyond the table and the chunk buffers: the recorded progress reports on the heap; heap
// headers, page rounding and what Wine commits for a file or a message, and for the writer
// and the hasher (Wine keeps about 2 MiB for each thread it starts, the same whatever the
// input).
const SIZE_T kHeapMargin = 64u << 10;
const SIZE_T kCommitMargin = 6u << 20;

// ---- the packs every case starts from ----

std::vector<std::string> BasePacks()
{
    PackLayout nested;
    nested.packName = "Bin";
    nested.files = {PackFile("readme.txt", "hello pack\r\n", MakeFileTime(0x01D5000000000000ull)),
                    PackFile("a\\b\\c.txt", "nested with backslashes", MakeFileTime(0x01D6000000000000ull)),
                    PackFile("a/b/d.bin", GeneratedData(7, 5000), MakeFileTime(0x01D7000000000000ull)),
                    PackFile("empty.dat", "", MakeFileTime(0x01D8000000000000ull)),
                    PackFile("Справка\\файл.txt", "кириллица", MakeFileTime(0x01D9000000000000ull))};

    // Over 4 MiB, so that the first file goes through two chunks.
    PackLayout big;
    big.packName = "Большой";
    big.files = {PackFile("data\\big.bin", "", MakeFileTime(0x01DA000000000000ull)),
                 PackFile("after.txt", "tail", MakeFileTime(0x01DA000000001000ull)),
                 PackFile("zero.bin", "", MakeFileTime(0x01DA000000002000ull))};
    big.files[0].generatedSize = kChunkSize + 4097;
    big.files[0].seed = 3;

    PackLayout many;
    many.packName = "Many";
    for (int i = 0; i < 40; ++i) {
        std::string name = "dir" + std::to_string(i % 5) + "\\file" + std::to_string(i) + ".txt";
        many.files.push_back(PackFile(name, i % 7 ? GeneratedData(i, i * 37) : "",
                                      MakeFileTime(0x01D5000000000000ull + i * 10000000ull)));
    }

    PackLayout empty;
    empty.packName = "Nothing";

    return {BuildPack(nested), BuildPack(big), BuildPack(many), BuildPack(empty)};
}

// The big pack costs most per case: it gets one case in eight.
const std::string& PickBase(const std::vector<std::string>& bases, FuzzRandom& random)
{
    static const int weights[] = {0, 0, 0, 1, 2, 2, 2, 3};
    return bases[random.Pick(weights)];
}

// ---- mutations ----

DWORD GetDword(const std::string& pack, size_t offset)
{
    DWORD value = 0;
    if (offset + 4 <= pack.size())
        memcpy(&value, pack.data() + offset, 4);
    return value;
}

void PutDword(std::string& pack, size_t offset, DWORD value)
{
    if (offset + 4 <= pack.size())
        memcpy(&pack[offset], &value, 4);
}

// Entries whose records lie inside the pack as it is now.
size_t EntriesPresent(const std::string& pack)
{
    if (pack.size() < sizeof(PackHeader))
        return 0;
    return std::min<size_t>(GetDword(pack, offsetof(PackHeader, entryCount)),
                            (pack.size() - sizeof(PackHeader)) / sizeof(PackEntry));
}

size_t EntryOffset(size_t index)
{
    return sizeof(PackHeader) + index * sizeof(PackEntry);
}

// Names that must be refused or that stress the file system: climbing out, drives, UNC,
// devices, separators at the ends, duplicates, characters Windows refuses, overlong paths.
std::string HostileName(FuzzRandom& random)
{
    static const char* const names[] = {
        "..", "..\\escaped.txt", "../escaped.txt", "a\\..\\..\\escaped.txt", "a/b/../../../../escaped.txt",
        "...", ".. ", " ..\\x", "..\\..\\..\\..\\escaped.txt", "C:\\escaped.txt", "C:escaped.txt", "Z:",
        "\\\\server\\share\\x", "\\escaped.txt", "/escaped.txt", "a\\.\\b.txt", ".", "", "a\\", "a\\b",
        "readme.txt", "README.TXT", "a\\b\\c.txt\\d", "NUL", "CON", "nul.txt", "a\\NUL", "NUL.",
        "Папка\\файл.txt", "a:stream", "?", "*", "a\\\\b", "a//b"};
    switch (random.Below(8)) {
    case 0:
        return std::string(255, 'x');
    case 1: {
        std::string deep;
        while (deep.size() < 240)
            deep += "a\\";
        return deep + "x";
    }
    default:
        return random.Pick(names);
    }
}

// Writes a 256-byte name field at `offset` (as far as the pack reaches): the name and NULs,
// or, without NUL, the name repeated over the whole field.
void PutName(std::string& pack, size_t offset, std::string name, bool withNul)
{
    if (name.empty())
        name = withNul ? "" : ".";
    for (size_t i = 0; i < 256 && offset + i < pack.size(); ++i)
        pack[offset + i] = withNul ? (i < name.size() ? name[i] : '\0') : name[i % name.size()];
}

// An offset, mostly in the fields that steer the unpacker.
size_t PickOffset(const std::string& pack, FuzzRandom& random)
{
    const size_t entries = EntriesPresent(pack);
    const size_t tableEnd = EntryOffset(entries);
    size_t offset = 0;
    switch (random.Below(6)) {
    case 0: offset = random.Below(sizeof(PackHeader)); break;
    case 1: offset = offsetof(PackHeader, entryCount) + random.Below(4); break;
    case 2: offset = EntryOffset(random.Below(entries)) + random.Below(offsetof(PackEntry, fileName)); break;
    case 3: offset = EntryOffset(random.Below(entries)) + offsetof(PackEntry, fileName) + random.Below(16); break;
    case 4: offset = tableEnd + random.Below(pack.size() > tableEnd ? pack.size() - tableEnd : 0); break;
    default: offset = random.Below(pack.size()); break;
    }
    return offset < pack.size() ? offset : random.Below(pack.size());
}

void MutatePack(std::string& pack, FuzzRandom& random)
{
    static const unsigned char bytes[] = {0, 0xFF, '.', '\\', '/', ':', ' ', '*', 0x80, 0x7F, 'a'};
    const size_t entries = EntriesPresent(pack);
    const size_t entry = EntryOffset(random.Below(entries));
    const size_t fitting = pack.size() > sizeof(PackHeader) ? (pack.size() - sizeof(PackHeader)) / sizeof(PackEntry) : 0;
    switch (random.Below(9)) {
    case 0:
        FlipBit(pack, random);
        break;
    case 1:
        if (!pack.empty())
            pack[PickOffset(pack, random)] = static_cast<char>(random.OneIn(4) ? random.Next() : random.Pick(bytes));
        break;
    case 2:
        if (!pack.empty()) {
            size_t at = PickOffset(pack, random);
            size_t length = std::min<size_t>(1 + random.Below(64), pack.size() - at);
            memset(&pack[at], random.Pick(bytes), length);
        }
        break;
    case 3:
        if (random.OneIn(2))
            Truncate(pack, random);
        else
            pack.resize(PickOffset(pack, random));
        break;
    case 4:
        pack += Junk(random, 1 + random.Below(600));
        break;
    case 5: {
        const DWORD counts[] = {0, 1, static_cast<DWORD>(entries - 1), static_cast<DWORD>(entries + 1),
                                static_cast<DWORD>(fitting), static_cast<DWORD>(fitting + 1), 0x10000, 1000000,
                                0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, kMaxPackEntryCount, kMaxPackEntryCount + 1};
        PutDword(pack, offsetof(PackHeader, entryCount), random.Pick(counts));
        break;
    }
    case 6:
        if (entries) {
            const DWORD old = GetDword(pack, entry + offsetof(PackEntry, fileSize));
            const DWORD sizes[] = {0, 1, old - 1, old + 1, static_cast<DWORD>(kChunkSize - 1),
                                   static_cast<DWORD>(kChunkSize), static_cast<DWORD>(kChunkSize + 1),
                                   0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, static_cast<DWORD>(pack.size())};
            PutDword(pack, entry + offsetof(PackEntry, fileSize), random.Pick(sizes));
        }
        break;
    default: {
        const bool packName = !entries || random.OneIn(3);
        const size_t field = packName ? offsetof(PackHeader, packName) : entry + offsetof(PackEntry, fileName);
        PutName(pack, field, HostileName(random), !random.OneIn(4));
        break;
    }
    }
}

// ---- what the test reads from a pack itself ----

struct WholePack {
    std::string packName;
    std::vector<PackEntry> entries;
    std::vector<size_t> dataOffsets;
};

bool HasNul(const char* field, size_t size)
{
    return memchr(field, '\0', size) != nullptr;
}

// True when the pack holds its header, its whole table and every entry's data, and every
// name ends with a NUL: the only packs that may unpack with S_OK.
bool ReadWholePack(const std::string& pack, WholePack* whole)
{
    if (pack.size() < sizeof(PackHeader))
        return false;
    PackHeader header;
    memcpy(&header, pack.data(), sizeof(header));
    // A pack without entries never uses its name.
    if ((header.entryCount && !HasNul(header.packName, sizeof(header.packName))) ||
        EntryOffset(header.entryCount) > pack.size())
        return false;
    whole->packName = header.packName;
    whole->entries.resize(header.entryCount);
    if (header.entryCount)
        memcpy(&whole->entries[0], pack.data() + sizeof(header), header.entryCount * sizeof(PackEntry));
    uint64_t offset = EntryOffset(header.entryCount);
    for (const PackEntry& entry : whole->entries) {
        if (!HasNul(entry.fileName, sizeof(entry.fileName)))
            return false;
        whole->dataOffsets.push_back(static_cast<size_t>(offset));
        offset += entry.fileSize;
    }
    return offset <= pack.size();
}

// ---- observing the file system and memory ----

typedef std::pair<DWORD, ULONGLONG> FileId;

// The identity (volume, index) of a regular file on disk; false for a folder, a device or nothing.
bool RegularFileId(const std::string& path, FileId* id)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                   !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(file);
    if (regular)
        *id = FileId(info.dwVolumeSerialNumber, (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    return regular;
}

// Names directly in the temporary folder, leaving out the folders of test programs (this one's
// and those running beside it).
std::set<std::string> TempRootNames()
{
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((std::string(path) + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strncmp(data.cFileName, "zebtest-", 8) != 0)
            names.insert(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

bool InPlausibleRange(const FILETIME& time)
{
    // 1980 to 2100: times the file systems under Wine and Windows keep exactly.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return ticks >= 0x01A8E79FE1D58000ull && ticks < 0x0230000000000000ull;
}

// ---- the cases ----

class PackFuzz : public ::testing::Test {
protected:
    // Everything lives in `outer`, so that whatever appears beside the sandbox is seen.
    TempDir outer;
    std::string sandbox = outer / "sandbox";
    std::string target = sandbox + "\\target";
    // The most held above the table at the peak of a case, over all cases.
    SIZE_T largestHeapExcess = 0;
    SIZE_T largestCommitExcess = 0;

    void SetUp() override { ASSERT_TRUE(CreateDirectoryA(sandbox.c_str(), NULL)); }

    void RunCase(const std::string& pack, HRESULT* result)
    {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        MemorySource source(pack);
        const std::set<std::string> tempRootBefore = TempRootNames();

        // Memory is watched two ways. The heap counter sees every allocation through new, also
        // one freed before any report. The progress reports come after every read, while the
        // table and the chunk are held: there the committed memory shows what the process
        // holds by any route.
        ProgressRecorder recorder;
        SIZE_T committedPeak = 0;
        recorder.onBytes = [&](const ProgressRecorder::Bytes&) {
            committedPeak = std::max(committedPeak, CommittedPrivateBytes());
        };
        const SIZE_T committedBefore = CommittedPrivateBytes();
        TestAllocator::ResetPeak();
        const SIZE_T heldBefore = TestAllocator::Held();
        {
            // The unpacker prints a line for each digest mismatch, thousands over the cases.
            StdoutCapture quiet;
            CancelToken never;
            *result = ExtractPack(source, target.c_str(), nullptr, recorder, never);
        }
        const SIZE_T heapGrowth = TestAllocator::Peak() - heldBefore;
        const SIZE_T commitGrowth = committedPeak > committedBefore ? committedPeak - committedBefore : 0;

        EXPECT_TRUE(*result == S_OK || *result == E_FAIL) << std::hex << *result;

        // The table may be held only when it fits in the pack; one that cannot must be refused
        // before it is allocated.
        const DWORD count = GetDword(pack, offsetof(PackHeader, entryCount));
        const SIZE_T table = pack.size() >= sizeof(PackHeader) && EntryOffset(count) <= pack.size()
                                 ? count * sizeof(PackEntry) : 0;
        const SIZE_T chunks = kChunkBuffers * kChunkSize;
        EXPECT_LE(heapGrowth, table + chunks + kHeapMargin) << "entry count " << count << ", table " << table;
        EXPECT_LE(commitGrowth, table + chunks + kCommitMargin) << "entry count " << count << ", table " << table;
        largestHeapExcess = std::max(largestHeapExcess, heapGrowth > table ? heapGrowth - table : 0);
        largestCommitExcess = std::max(largestCommitExcess, commitGrowth > table ? commitGrowth - table : 0);

        for (const std::string& path : ListTree(outer.Path())) {
            EXPECT_TRUE(path == "sandbox\\" || path.compare(0, 15, "sandbox\\target\\") == 0)
                << "outside the target: " << path;
        }
        EXPECT_EQ(tempRootBefore, TempRootNames()) << "the temporary folder changed";

        if (*result == S_OK)
            CheckUnpacked(pack);
    }

    // After S_OK: every entry is a regular file, each file holds the data of the last entry that
    // names it (a later entry of the same name overwrites), and no file is there that no entry names.
    void CheckUnpacked(const std::string& pack)
    {
        WholePack whole;
        ASSERT_TRUE(ReadWholePack(pack, &whole)) << "S_OK for a pack cut short or with a name without NUL";
        std::map<FileId, size_t> lastEntry;
        std::vector<std::string> paths;
        for (size_t i = 0; i < whole.entries.size(); ++i) {
            paths.push_back(target + "\\" + whole.packName + "\\" + whole.entries[i].fileName);
            FileId id;
            ASSERT_TRUE(RegularFileId(paths[i], &id))
                << "S_OK, but entry " << i << " \"" << whole.entries[i].fileName << "\" is no file on disk";
            lastEntry[id] = i;
        }
        for (const auto& found : lastEntry) {
            const PackEntry& entry = whole.entries[found.second];
            const std::string written = ReadWholeFile(paths[found.second]);
            EXPECT_TRUE(written == pack.substr(whole.dataOffsets[found.second], entry.fileSize))
                << entry.fileName << ": " << written.size() << " bytes, entry says " << entry.fileSize;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.md5), 16), Md5(written)) << entry.fileName;
            if (InPlausibleRange(entry.fileTime)) {
                const FILETIME time = LastWriteTime(paths[found.second]);
                EXPECT_TRUE(time.dwLowDateTime == entry.fileTime.dwLowDateTime &&
                            time.dwHighDateTime == entry.fileTime.dwHighDateTime)
                    << entry.fileName;
            }
        }
        for (const std::string& path : ListTree(target)) {
            FileId id;
            if (path.back() == '\\')
                continue;
            EXPECT_TRUE(RegularFileId(target + "\\" + path, &id) && lastEntry.count(id))
                << "a file that no entry names: " << path;
        }
    }
};

}  // namespace

TEST_F(PackFuzz, MutatedPacksUnpackWhollyOrFailAndStayInsideTheTarget)
{
    const std::vector<std::string> bases = BasePacks();
    for (size_t i = 0; i < bases.size(); ++i) {
        HRESULT result = E_FAIL;
        ASSERT_NO_FATAL_FAILURE(RunCase(bases[i], &result));
        ASSERT_EQ(S_OK, result) << "unmutated pack " << i;
    }

    const FuzzTally tally = RunFuzzCases("pack", kCiCases, kCiFirstSeed, [&](FuzzRandom& random, size_t* bytes) {
        std::string pack = PickBase(bases, random);
        for (int n = 1 + static_cast<int>(random.Below(3)); n > 0; --n)
            MutatePack(pack, random);
        *bytes = pack.size();
        HRESULT result = E_FAIL;
        RunCase(pack, &result);
        return result;
    });
    printf("pack fuzz: %d cases from seed 0x%llx: %d S_OK, %d E_FAIL; at the peak above the table at most"
           " %zu KiB on the heap, %zu KiB committed\n",
           tally.run, static_cast<unsigned long long>(tally.first), tally.succeeded, tally.run - tally.succeeded,
           static_cast<size_t>(largestHeapExcess >> 10), static_cast<size_t>(largestCommitExcess >> 10));
}

TEST(PackTable, ASizeTheServerAnnouncesBuysNoTableAboveTheCeiling)
{
    // 15 million entries (4.26 GB of table) in a pack that announces 5 GB: only the
    // ceiling stands between the announced size and the allocation.
    HINTERNET session = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, NULL, NULL, 0);
    ASSERT_NE(nullptr, session);
    HttpTestServer server;
    PackLayout layout;
    layout.packName = "P";
    layout.overrideEntryCount = true;
    TempDir target;
    for (DWORD count : {static_cast<DWORD>(15000000), kMaxPackEntryCount + 1}) {
        layout.entryCount = count;
        HttpResponse announced = HttpResponse::Ok(BuildPack(layout));
        announced.contentLengthText = "5000000000";
        announced.closeAfterBytes = sizeof(PackHeader);
        server.Serve("/big.pack", announced);
        TestAllocator::ResetPeak();
        const size_t heldBefore = TestAllocator::Held();
        CancelToken never;
        NoProgress unseen;
        PackStream stream(TransferEnv{session, never, unseen, RetrySettings()}, server.Url("/big.pack").c_str());
        EXPECT_EQ(E_FAIL, ExtractPack(stream, target.Path().c_str(), nullptr, unseen, never)) << count;
        EXPECT_LT(TestAllocator::Peak() - heldBefore, static_cast<size_t>(1 << 20)) << count;
    }
    InternetCloseHandle(session);
    EXPECT_EQ(static_cast<DWORD>(kMaxPackTableSize / sizeof(PackEntry)), kMaxPackEntryCount);
}
