#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "DirectoryChain.h"
#include "TestFiles.h"

namespace {

// Runs a test body with the current directory set to `dir`.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& dir)
    {
        GetCurrentDirectoryA(MAX_PATH, saved_);
        SetCurrentDirectoryA(dir.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(saved_); }

private:
    char saved_[MAX_PATH];
};

}  // namespace

TEST(CreateDirectoryChain, MakesEveryMissingDirectoryWithMixedSeparators)
{
    TempDir temp;
    std::string path = temp.Path() + "\\a/b/c";
    EXPECT_EQ(1, CreateDirectoryChain(path.c_str()));
    EXPECT_EQ((std::vector<std::string>{"a\\", "a\\b\\", "a\\b\\c\\"}), ListTree(temp.Path()));
    // Everything present already: still 1, nothing new.
    EXPECT_EQ(1, CreateDirectoryChain(path.c_str()));
    EXPECT_EQ(1, CreateDirectoryChain((temp.Path() + "\\a\\b\\").c_str()));
    EXPECT_EQ(3u, ListTree(temp.Path()).size());
}

TEST(CreateDirectoryChain, RelativePathIsMadeBelowTheCurrentDirectory)
{
    TempDir temp;
    CurrentDirectory cd(temp.Path());
    EXPECT_EQ(1, CreateDirectoryChain("rel\\sub"));
    EXPECT_TRUE(DirectoryExists(temp / "rel\\sub"));
}

TEST(CreateDirectoryChain, FileInTheWayFailsAndNothingBelowIsMade)
{
    TempDir temp;
    ASSERT_TRUE(WriteWholeFile(temp / "blocker", "x"));
    EXPECT_EQ(0, CreateDirectoryChain((temp / "blocker\\below").c_str()));
    EXPECT_EQ(0, CreateDirectoryChain((temp / "blocker").c_str()));
    EXPECT_EQ((std::vector<std::string>{"blocker"}), ListTree(temp.Path()));
}

TEST(CreateDirectoryChain, RootsAndPathsThatCannotBeUsed)
{
    EXPECT_EQ(1, CreateDirectoryChain("C:\\"));
    EXPECT_EQ(0, CreateDirectoryChain(""));
    EXPECT_EQ(0, CreateDirectoryChain(nullptr));
    // A UNC path that names only a server has no root to check.
    EXPECT_EQ(0, CreateDirectoryChain("\\\\server"));
    // No drive is mapped to Q: in the test prefix.
    ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeA("Q:\\"));
    EXPECT_EQ(0, CreateDirectoryChain("Q:\\nowhere\\deep"));
}

TEST(CreateDirectoryChain, FullPathOfMaxPathOrMoreFailsWithoutCreatingAnything)
{
    TempDir temp;
    std::string path = temp.Path() + "\\";
    while (path.size() < MAX_PATH)
        path += "d";
    EXPECT_EQ(0, CreateDirectoryChain(path.c_str()));
    path += "\\more\\and\\more";
    EXPECT_EQ(0, CreateDirectoryChain(path.c_str()));
    EXPECT_TRUE(ListTree(temp.Path()).empty());
}

TEST(CreateDirectoryChain, TwoThreadsMakingTheSameChainBothSucceed)
{
    TempDir temp;
    for (int round = 0; round < 50; ++round) {
        std::string path = temp.Path() + "\\r" + std::to_string(round) + "\\x\\y\\z";
        int first = -1, second = -1;
        std::thread other([&] { second = CreateDirectoryChain(path.c_str()); });
        first = CreateDirectoryChain(path.c_str());
        other.join();
        ASSERT_EQ(1, first) << path;
        ASSERT_EQ(1, second) << path;
    }
}

TEST(CreateFileWithParents, CreatingDispositionsMakeTheParents)
{
    TempDir temp;
    CurrentDirectory cd(temp.Path());
    HANDLE file = CreateFileWithParents("a/b\\c/d.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_EQ((std::vector<std::string>{"a\\", "a\\b\\", "a\\b\\c\\", "a\\b\\c\\d.txt"}),
              ListTree(temp.Path()));

    for (DWORD disposition : {static_cast<DWORD>(CREATE_NEW), static_cast<DWORD>(OPEN_ALWAYS)}) {
        std::string name = "n" + std::to_string(disposition) + "\\f.txt";
        file = CreateFileWithParents(name.c_str(), GENERIC_WRITE, 0, NULL, disposition, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << disposition;
        CloseHandle(file);
    }

    file = CreateFileWithParents("bare.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_TRUE(FileExists(temp / "bare.txt"));
}

TEST(CreateFileWithParents, OpeningDispositionsNeverMakeDirectories)
{
    TempDir temp;
    for (DWORD disposition : {static_cast<DWORD>(OPEN_EXISTING), static_cast<DWORD>(TRUNCATE_EXISTING)}) {
        HANDLE file = CreateFileWithParents((temp / "missing\\f.txt").c_str(), GENERIC_WRITE, 0, NULL,
                                            disposition, 0, NULL);
        EXPECT_EQ(INVALID_HANDLE_VALUE, file);
    }
    EXPECT_TRUE(ListTree(temp.Path()).empty());
}

TEST(CreateFileWithParents, ParentsThatCannotBeMadeOrOverlongNamesFail)
{
    TempDir temp;
    ASSERT_TRUE(WriteWholeFile(temp / "file", "x"));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileWithParents((temp / "file\\sub\\f.txt").c_str(), GENERIC_WRITE, 0, NULL,
                                    CREATE_ALWAYS, 0, NULL));
    std::string longName = temp.Path() + "\\" + std::string(300, 'n');
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileWithParents(longName.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    EXPECT_EQ((std::vector<std::string>{"file"}), ListTree(temp.Path()));
}
