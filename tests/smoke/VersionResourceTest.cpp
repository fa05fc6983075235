// The built program's version resource and manifest, read back as Explorer reads them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "version.h"

namespace {

// The test runs in the program's folder (tests/CMakeLists.txt).
const char kProgram[] = ".\\ZebOfflineDownload.exe";

std::string StringValue(const std::string& block, const char* name)
{
    void* value = nullptr;
    UINT length = 0;
    std::string path = "\\StringFileInfo\\041904E3\\" + std::string(name);
    if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || !value)
        return "<missing>";
    return static_cast<const char*>(value);
}

}  // namespace

TEST(VersionResource, RussianStringsNameTheProjectVersionAndTheCommit)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(kProgram, &ignored);
    ASSERT_NE(0u, size) << "no version resource in " << kProgram << " (error " << GetLastError() << ")";
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(kProgram, 0, size, &block[0]));

    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(sizeof(Translation), length);
    EXPECT_EQ(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), translation->language);
    EXPECT_EQ(1251, translation->codePage);

    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(ZEB_VERSION_MINOR, ZEB_VERSION_MAJOR)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, ZEB_VERSION_PATCH)), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    // The texts come back in the ANSI code page, 1251, as the literals here are compiled.
    EXPECT_EQ("Скачивание для УЛВО-офлайн", StringValue(block, "FileDescription"));
    EXPECT_EQ("Скачивание для УЛВО-офлайн", StringValue(block, "ProductName"));
    EXPECT_EQ(ZEB_VERSION_TEXT, StringValue(block, "FileVersion"));
    EXPECT_EQ(std::string(ZEB_VERSION_TEXT) + " (" + ZEB_COMMIT + ")", StringValue(block, "ProductVersion"));
    EXPECT_EQ("ZebOfflineDownload.exe", StringValue(block, "OriginalFilename"));
    EXPECT_EQ("ZebOfflineDownload", StringValue(block, "InternalName"));
    EXPECT_EQ("© Zeb, 2026", StringValue(block, "LegalCopyright"));
}

TEST(VersionResource, ManifestNamesTheSameVersion)
{
    HMODULE program = LoadLibraryExA(kProgram, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(nullptr, found);
    const char* text = static_cast<const char*>(LockResource(LoadResource(program, found)));
    std::string manifest(text, SizeofResource(program, found));
    FreeLibrary(program);
    const std::string identity = "name=\"Zeb.OfflineDownload\" version=\"" ZEB_VERSION_TEXT ".0\"";
    EXPECT_NE(std::string::npos, manifest.find(identity)) << manifest;
}
