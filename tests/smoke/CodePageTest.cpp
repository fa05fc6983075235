#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

TEST(Platform, AnsiCodePageIsCyrillic)
{
    EXPECT_EQ(1251u, GetACP());
}

TEST(Platform, RussianLiteralsAreCompiledToCp1251)
{
    // "Общий ход" in Windows-1251.
    const unsigned char expected[] = {0xCE, 0xE1, 0xF9, 0xE8, 0xE9, 0x20, 0xF5, 0xEE, 0xE4, 0};
    EXPECT_EQ(0, strcmp("Общий ход", reinterpret_cast<const char*>(expected)));
}
