#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FileNames.h"
#include "PackFormat.h"

namespace {

bool Contained(const std::string& name)
{
    char field[256] = {};
    memcpy(field, name.data(), name.size());
    return IsContainedPackName(field, sizeof(field));
}

}  // namespace

TEST(PackNames, NamesInsideTheirDirectoryAreAccepted)
{
    for (const char* name : {"", "a.txt", "a\\b\\c.txt", "a/b/c.txt", ".\\x", "..a", "a..", "x\\..y\\z",
                             "Исполняемые\\файл.exe", "dots.in.name",
                             "nullable.txt", "CONSOLE", "com10", "LPT0", "a\\auxiliary",
                             // joined behind the folder, one leading separator stays inside
                             "\\lead.txt", "/lead/x.txt"})
        EXPECT_TRUE(Contained(name)) << name;
}

TEST(PackNames, NamesThatLeadOutsideAreRefused)
{
    for (const char* name : {"..", "..\\x", "../x", "a\\..\\..\\x", "a/..", "...", ".. ", "a\\ ..\\b",
                             "\\\\server\\share\\x", "//server/share/x", "\\/x", "\\..\\x", "/NUL",
                             "C:\\x", "C:x", "x:y",
                             "NUL", "nul.txt", "a\\NUL.", "NUL .bin", "con", "Aux.dat", "prn", "COM1", "lpt9.log",
                             "conin$", "CONOUT$"})
        EXPECT_FALSE(Contained(name)) << name;
}

TEST(PackNames, FieldWithoutNulIsRefused)
{
    char field[256];
    memset(field, 'a', sizeof(field));
    EXPECT_FALSE(IsContainedPackName(field, sizeof(field)));
    field[255] = '\0';
    EXPECT_TRUE(IsContainedPackName(field, sizeof(field)));
}

TEST(FileNames, NamesAreOneFileAsWindowsOpensThem)
{
    const struct {
        const char* a;
        const char* b;
        bool oneFile;
    } rows[] = {
        {"files/A.bin", "files/a.bin", true},
        {"x/a", "x\\a", true},
        {"a.bin", "a.bin.", true},
        {"a.bin", "a.bin ", true},
        {"a.bin", "a.bin. .", true},
        {"./a", "a", true},
        {"/a", "a", true},
        {"x//a", "x/a", true},
        {"x/./a", "x/a", true},
        {"Общая/База.dat", "общая/база.DAT", true},
        {"a.bin", "a.bin.part", false},
        {"a", "b", false},
        {"x/a", "xa", false},
        {".a", "a", false},
        {"a b", "ab", false},
        {"", "", false},
        {"..", "..", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.oneFile, NamesOneFile(row.a, row.b, 260)) << row.a << " | " << row.b;
    // Names that share a file are marked, all of them, and only they.
    const char* names[] = {"A.txt", "b.txt", "a.TXT.", "c\\d", "c/D", "e"};
    bool shared[6];
    ASSERT_TRUE(MarkNamesOfOneFile(names, 260, 6, shared));
    EXPECT_EQ((std::vector<bool>{true, false, true, true, true, false}), std::vector<bool>(shared, shared + 6));
}
