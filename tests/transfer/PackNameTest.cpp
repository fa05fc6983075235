#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
