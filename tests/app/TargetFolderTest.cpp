#include <gtest/gtest.h>

#include "EarlierFiles.h"
#include "TargetFolder.h"
#include "TestFiles.h"

TEST(TargetFolder, NormalFormUsesBackslashesAndDropsOneTrailingSeparator)
{
    const struct {
        const char* typed;
        const char* normal;
    } cases[] = {{"C:/Data/", "C:\\Data"}, {"C:\\Data\\\\", "C:\\Data\\"}, {"D:\\", "D:"},
                 {"\\", ""},           {"   ", "   "},           {"rel/sub", "rel\\sub"}};
    for (const auto& entry : cases) {
        CString folder(entry.typed);
        NormalizeFolderText(folder);
        EXPECT_STREQ(entry.normal, folder) << entry.typed;
    }
}

TEST(TargetFolder, AnyEntryMakesAFolderNotEmpty)
{
    TempDir temp;
    EXPECT_TRUE(IsFolderEmpty(temp.Path().c_str()));
    // A folder that cannot be listed counts as empty.
    EXPECT_TRUE(IsFolderEmpty((temp / "missing").c_str()));

    ASSERT_TRUE(WriteWholeFile(temp / "hidden", ""));
    SetFileAttributesA((temp / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(IsFolderEmpty(temp.Path().c_str()));
    SetFileAttributesA((temp / "hidden").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileA((temp / "hidden").c_str()));
    EXPECT_TRUE(IsFolderEmpty(temp.Path().c_str()));

    ASSERT_TRUE(CreateDirectoryA((temp / "sub").c_str(), NULL));
    EXPECT_FALSE(IsFolderEmpty(temp.Path().c_str()));
    EXPECT_TRUE(IsFolderEmpty((temp / "sub").c_str()));
}
