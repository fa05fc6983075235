#include <gtest/gtest.h>

#include "PackFormat.h"
#include "PackTestSupport.h"
#include "ProgressRecorder.h"
#include "StdoutCapture.h"

namespace {

class PackExtract : public ::testing::Test {
protected:
    HRESULT Extract(const std::string& pack, ProgressSink* progress = nullptr, CancelToken* cancel = nullptr)
    {
        return ExtractFromMemory(pack, target, progress, cancel);
    }

    TempDir temp;
    std::string target = temp / "target";

    void SetUp() override { ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL)); }
};

std::string FromHex(const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return bytes;
}

}  // namespace

TEST_F(PackExtract, UnpacksEveryFileWithItsBytesAndTime)
{
    PackLayout layout = SamplePack();
    ASSERT_EQ(S_OK, Extract(BuildPack(layout)));
    EXPECT_EQ((std::vector<std::string>{"Bin\\", "Bin\\a\\", "Bin\\a\\b\\", "Bin\\a\\b\\c.txt",
                                        "Bin\\a\\b\\d.bin", "Bin\\empty.dat", "Bin\\readme.txt"}),
              ListTree(target));
    for (const PackedFile& file : layout.files) {
        std::string path = target + "\\Bin\\" + file.name;
        EXPECT_EQ(file.data, ReadWholeFile(path)) << file.name;
        EXPECT_TRUE(SameTime(file.time, LastWriteTime(path))) << file.name;
    }
}

TEST_F(PackExtract, UnpackingAgainOverwritesAndLeavesOtherFilesAlone)
{
    ASSERT_TRUE(CreateDirectoryA((target + "\\Bin").c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(target + "\\Bin\\readme.txt", "an older and much longer text"));
    ASSERT_TRUE(WriteWholeFile(target + "\\Bin\\mine.txt", "keep"));
    ASSERT_EQ(S_OK, Extract(BuildPack(SamplePack())));
    EXPECT_EQ("hello pack\r\n", ReadWholeFile(target + "\\Bin\\readme.txt"));
    EXPECT_EQ("keep", ReadWholeFile(target + "\\Bin\\mine.txt"));
}

TEST_F(PackExtract, EmptyPackCreatesNothing)
{
    PackLayout layout;
    layout.packName = "Nothing";
    std::string pack = BuildPack(layout);
    ASSERT_EQ(308u, pack.size());
    EXPECT_EQ(S_OK, Extract(pack));
    EXPECT_TRUE(ListTree(target).empty());
}

TEST_F(PackExtract, DigestsAreCheckedAgainstRfc1321Vectors)
{
    // The digests are RFC 1321's own, not computed by the test.
    const struct {
        const char* text;
        const char* md5;
    } vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    PackLayout layout;
    layout.packName = "rfc";
    int index = 0;
    for (const auto& vector : vectors) {
        PackedFile file = PackFile("v" + std::to_string(index++), vector.text);
        file.digest = FromHex(vector.md5);
        layout.files.push_back(file);
    }
    StdoutCapture out(temp / "stdout.txt");
    HRESULT hr = Extract(BuildPack(layout));
    EXPECT_EQ("", out.Finish());
    EXPECT_EQ(S_OK, hr);

    // One flipped digest bit is caught.
    layout.files[3].digest[15] ^= 1;
    StdoutCapture again(temp / "stdout2.txt");
    hr = Extract(BuildPack(layout));
    EXPECT_EQ("rfc\\v3\r\nMD5 mismatch", again.Finish());
    EXPECT_EQ(E_FAIL, hr);
}

TEST_F(PackExtract, DigestMismatchKeepsGoingButFails)
{
    PackLayout layout = SamplePack();
    layout.files[1].wrongDigest = true;
    StdoutCapture out(temp / "stdout.txt");
    HRESULT hr = Extract(BuildPack(layout));
    EXPECT_EQ("Bin\\a\\b\\c.txt\r\nMD5 mismatch", out.Finish());
    EXPECT_EQ(E_FAIL, hr);
    // The damaged file stays, with its time, and the entries after it are unpacked.
    for (const PackedFile& file : layout.files) {
        std::string path = target + "\\Bin\\" + file.name;
        EXPECT_EQ(file.data, ReadWholeFile(path)) << file.name;
        EXPECT_TRUE(SameTime(file.time, LastWriteTime(path))) << file.name;
    }
}

TEST_F(PackExtract, TenMiBFileIsReadInFourFourTwoMiBWithEveryPositionReported)
{
    PackLayout layout;
    layout.packName = "big";
    layout.files.push_back(PackFile("ten.bin", GeneratedData(3, 10 << 20), MakeFileTime(0x01D9000000000000ull)));
    ProgressRecorder progress;
    const std::string pack = BuildPack(layout);
    ASSERT_EQ(S_OK, Extract(pack, &progress));
    EXPECT_EQ(layout.files[0].data, ReadWholeFile(target + "\\big\\ten.bin"));
    // Every byte consumed counts, of the whole pack.
    const ULONGLONG table = 308 + 284;
    EXPECT_EQ((std::vector<ULONGLONG>{0, 308, table, table + (4 << 20), table + (8 << 20), table + (10 << 20)}),
              progress.Done());
    EXPECT_EQ(pack.size(), progress.AllBytes().back().total);
}

TEST_F(PackExtract, EveryTruncationFailsAndKeepsWhatArrived)
{
    PackLayout layout;
    layout.packName = "Bin";
    layout.files.push_back(PackFile("a\\one.txt", "first"));
    layout.files.push_back(PackFile("empty", ""));
    layout.files.push_back(PackFile("two.txt", "second file"));
    std::string pack = BuildPack(layout);
    const size_t dataStart = 308 + 284 * layout.files.size();
    for (size_t cut = 0; cut < pack.size(); ++cut) {
        ASSERT_EQ(E_FAIL, Extract(pack.substr(0, cut))) << cut;
        if (cut < dataStart) {
            ASSERT_TRUE(ListTree(target).empty()) << cut;
            continue;
        }
        // Files that end before the cut are complete, the one cut holds what arrived,
        // and no later one is created.
        size_t offset = dataStart;
        bool cutHere = false;
        for (const PackedFile& file : layout.files) {
            std::string path = target + "\\Bin\\" + file.name;
            size_t end = offset + file.data.size();
            if (cutHere) {
                ASSERT_FALSE(FileExists(path)) << cut << " " << file.name;
            } else if (end <= cut) {
                ASSERT_EQ(file.data, ReadWholeFile(path)) << cut << " " << file.name;
            } else {
                ASSERT_TRUE(FileExists(path)) << cut << " " << file.name;
                ASSERT_EQ(file.data.substr(0, cut - offset), ReadWholeFile(path)) << cut << " " << file.name;
                cutHere = true;
            }
            offset = end;
        }
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    }
}

TEST_F(PackExtract, AbortAtEachCheckStopsAndKeepsFinishedFiles)
{
    PackLayout layout;
    layout.packName = "P";
    layout.files.push_back(PackFile("one.bin", GeneratedData(1, (4 << 20) + 100)));
    layout.files.push_back(PackFile("two.bin", GeneratedData(2, 10)));
    layout.files.push_back(PackFile("three.bin", GeneratedData(3, 20)));
    std::string pack = BuildPack(layout);
    // Checks follow: the range, the header, the table, then each read of each entry.
    const int positions = 3 + 2 + 1 + 1;
    for (int abortAt = 0; abortAt < positions + 1; ++abortAt) {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        CancelToken cancel;
        ProgressRecorder progress;
        progress.onBytes = [&](const ProgressRecorder::Bytes&) {
            if (static_cast<int>(progress.AllBytes().size()) == abortAt + 1)
                cancel.Cancel();
        };
        ASSERT_EQ(abortAt < positions ? E_ABORT : S_OK, Extract(pack, &progress, &cancel)) << abortAt;
        // Nothing is reported after the report that raised the flag.
        ASSERT_EQ(static_cast<size_t>(std::min(abortAt + 1, positions)), progress.AllBytes().size()) << abortAt;
        std::vector<std::string> tree = ListTree(target);
        switch (abortAt) {
        case 0: case 1: case 2:  // before any entry
            EXPECT_TRUE(tree.empty()) << abortAt;
            break;
        case 3:  // first chunk of one.bin read, not written
            EXPECT_EQ("", ReadWholeFile(target + "\\P\\one.bin"));
            EXPECT_EQ(2u, tree.size());
            break;
        case 4:  // second chunk of one.bin read, the first written
            EXPECT_EQ(layout.files[0].data.substr(0, 4 << 20), ReadWholeFile(target + "\\P\\one.bin"));
            EXPECT_EQ(2u, tree.size());
            break;
        case 5:
            EXPECT_EQ(layout.files[0].data, ReadWholeFile(target + "\\P\\one.bin"));
            EXPECT_EQ("", ReadWholeFile(target + "\\P\\two.bin"));
            EXPECT_EQ(3u, tree.size());
            break;
        case 6:
            EXPECT_EQ(layout.files[1].data, ReadWholeFile(target + "\\P\\two.bin"));
            EXPECT_EQ(4u, tree.size());
            break;
        default:  // never raised: everything unpacked
            EXPECT_EQ(layout.files[2].data, ReadWholeFile(target + "\\P\\three.bin"));
        }
    }
}

TEST_F(PackExtract, NamesLeadingOutsideAreRefusedBeforeAnythingIsWritten)
{
    // Which names are refused is PackNames' table; here, that a refused one stops the
    // unpack where it stands, an entry's and the pack's.
    for (const char* bad : {"x/../../escaped.txt"}) {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        PackLayout layout;
        layout.packName = "P";
        layout.files.push_back(PackFile("good.txt", "good"));
        layout.files.push_back(PackFile(bad, "evil"));
        layout.files.push_back(PackFile("after.txt", "after"));
        EXPECT_EQ(E_FAIL, Extract(BuildPack(layout))) << bad;
        EXPECT_EQ((std::vector<std::string>{"P\\", "P\\good.txt"}), ListTree(target)) << bad;
        EXPECT_FALSE(FileExists(temp / "escaped.txt")) << bad;
    }
    for (const char* bad : {"..\\up"}) {
        RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
        PackLayout layout;
        layout.packName = bad;
        layout.files.push_back(PackFile("escaped.txt", "evil"));
        EXPECT_EQ(E_FAIL, Extract(BuildPack(layout))) << bad;
        EXPECT_TRUE(ListTree(target).empty()) << bad;
        EXPECT_FALSE(FileExists(temp / "escaped.txt")) << bad;
    }
    EXPECT_EQ((std::vector<std::string>{"target\\"}), ListTree(temp.Path()));
}

TEST_F(PackExtract, LeadingSeparatorsStayInsideAndAnEmptyPackUsesNoName)
{
    PackLayout layout;
    layout.packName = "/P";
    layout.files.push_back(PackFile("\\lead.txt", "lead"));
    layout.files.push_back(PackFile("/sub/x.txt", "x"));
    ASSERT_EQ(S_OK, Extract(BuildPack(layout)));
    EXPECT_EQ((std::vector<std::string>{"P\\", "P\\lead.txt", "P\\sub\\", "P\\sub\\x.txt"}), ListTree(target));
    EXPECT_EQ("lead", ReadWholeFile(target + "\\P\\lead.txt"));

    for (const char* odd : {"..", "C:\\", "\\\\server\\share", "NUL", ""}) {
        PackLayout empty;
        empty.packName = odd;
        empty.packNameWithoutNul = *odd == '\0';
        EXPECT_EQ(S_OK, Extract(BuildPack(empty))) << odd;
    }
    EXPECT_EQ((std::vector<std::string>{"target\\", "target\\P\\", "target\\P\\lead.txt",
                                        "target\\P\\sub\\", "target\\P\\sub\\x.txt"}),
              ListTree(temp.Path()));
}

TEST_F(PackExtract, NamesWithoutNulAreRefused)
{
    PackLayout layout = SamplePack();
    layout.packNameWithoutNul = true;
    EXPECT_EQ(E_FAIL, Extract(BuildPack(layout)));
    EXPECT_TRUE(ListTree(target).empty());

    layout = SamplePack();
    layout.files[1].nameWithoutNul = true;
    EXPECT_EQ(E_FAIL, Extract(BuildPack(layout)));
    EXPECT_EQ((std::vector<std::string>{"Bin\\", "Bin\\readme.txt"}), ListTree(target));
}

TEST_F(PackExtract, EntryCountsBeyondTheLimitsOrThePackFailBeforeAnyFile)
{
    PackLayout layout = SamplePack();
    layout.overrideEntryCount = true;
    for (DWORD count : {static_cast<DWORD>(0xFFFFFFFFu), kMaxPackEntryCount + 1, kMaxPackEntryCount, static_cast<DWORD>(1000000)}) {
        layout.entryCount = count;
        EXPECT_EQ(E_FAIL, Extract(BuildPack(layout))) << count;
        EXPECT_TRUE(ListTree(target).empty()) << count;
    }
}

TEST_F(PackExtract, FilesThatCannotBeCreatedOrWrittenFail)
{
    PackLayout layout = SamplePack();
    // A file where the directory "a" must go.
    ASSERT_TRUE(CreateDirectoryA((target + "\\Bin").c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(target + "\\Bin\\a", "in the way"));
    EXPECT_EQ(E_FAIL, Extract(BuildPack(layout)));
    EXPECT_EQ("in the way", ReadWholeFile(target + "\\Bin\\a"));
    EXPECT_FALSE(FileExists(target + "\\Bin\\empty.dat"));

    // A directory where a file must go.
    RemoveTree(target + "\\Bin");
    ASSERT_TRUE(CreateDirectoryA((target + "\\Bin").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((target + "\\Bin\\readme.txt").c_str(), NULL));
    EXPECT_EQ(E_FAIL, Extract(BuildPack(layout)));
    EXPECT_EQ((std::vector<std::string>{"Bin\\", "Bin\\readme.txt\\"}), ListTree(target));
}

TEST_F(PackExtract, OverlongTargetPathsFailCleanly)
{
    PackLayout layout;
    layout.packName = std::string(200, 'p');
    layout.files.push_back(PackFile(std::string(200, 'f'), "data"));
    EXPECT_EQ(E_FAIL, Extract(BuildPack(layout)));
    EXPECT_TRUE(ListTree(target).empty());
}
