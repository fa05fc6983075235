#include <gtest/gtest.h>

#include "ProgressScale.h"

TEST(ProgressScale, ShiftIsTheSmallestThatBringsTheSizeBelow2To31)
{
    EXPECT_EQ(0, ProgressShiftFor(0));
    EXPECT_EQ(0, ProgressShiftFor(0x7FFFFFFFll));
    EXPECT_EQ(1, ProgressShiftFor(0x80000000ll));
    EXPECT_EQ(2, ProgressShiftFor(0x100000005ll));
    EXPECT_EQ(10, ProgressShiftFor(1ll << 40));
    const LONGLONG sixGiB = 6ll << 30;
    EXPECT_EQ(2, ProgressShiftFor(sixGiB));
    EXPECT_EQ(static_cast<DWORD>(sixGiB / 4), ScaledProgress(sixGiB, ProgressShiftFor(sixGiB)));
    EXPECT_LT(ScaledProgress(sixGiB, 2), 0x80000000u);
    // Only bits 31 to 62 count, so the shift never passes 32.
    EXPECT_EQ(32, ProgressShiftFor(0x7FFFFFFFFFFFFFFFll));
}
