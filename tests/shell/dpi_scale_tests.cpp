// Pixel sizes at a monitor's DPI: MulDiv's rounding, and nothing changes at 96 DPI.
#include <gtest/gtest.h>

#include "shell/dpi_scale.h"

namespace {

TEST(DpiScaleTest, FollowsTheDpiRoundingLikeMulDiv) {
  EXPECT_EQ(ScaleToDpi(14, 96), 14);
  EXPECT_EQ(ScaleToDpi(14, 144), 21);
  EXPECT_EQ(ScaleToDpi(14, 120), 18);   // 17.5: halves go up
  EXPECT_EQ(ScaleToDpi(1, 144), 2);     // 1.5
  EXPECT_EQ(ScaleToDpi(1, 119), 1);     // 1.24
  EXPECT_EQ(ScaleToDpi(30, 192), 60);
  EXPECT_EQ(ScaleToDpi(-3, 144), -5);   // -4.5: halves away from zero, as MulDiv
  EXPECT_EQ(ScaleToDpi(32, 72), 24);
}

TEST(DpiScaleTest, AnUnknownDpiCountsAsStandard) {
  EXPECT_EQ(ScaleToDpi(14, 0), 14);
  EXPECT_EQ(ScaleToDpi(14, -144), 14);
  EXPECT_EQ(ScaleToDpi(1 << 24, 480), 5 << 24);  // no overflow on the way
}

}  // namespace
