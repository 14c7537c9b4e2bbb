// Centring the main window on the work area.
#include <gtest/gtest.h>

#include "shell/window_placement.h"

namespace {

TEST(WindowPlacementTest, CentredOnTheWorkArea) {
  // 1280x800 screen with a 40-pixel taskbar at the bottom.
  EXPECT_EQ(CentreOnWorkArea(443, 406, {0, 0, 1280, 760}), (ScreenPoint{640 - 221, 380 - 203}));
}

TEST(WindowPlacementTest, OddSumsTruncateTowardsZero) {
  // (0 + 1279) / 2 = 639, 101 / 2 = 50; (-101 + 0) / 2 = -50 (towards zero, not -51).
  EXPECT_EQ(CentreOnWorkArea(101, 11, {0, -101, 1279, 0}), (ScreenPoint{589, -50 - 5}));
}

TEST(WindowPlacementTest, WorkAreaNotAtTheOrigin) {
  // Taskbar on the left: the work area starts at x = 60.
  EXPECT_EQ(CentreOnWorkArea(200, 100, {60, 0, 1060, 700}), (ScreenPoint{460, 300}));
}

TEST(WindowPlacementTest, SmallerWorkAreaPutsTheCornerAtItsCorner) {
  EXPECT_EQ(CentreOnWorkArea(500, 400, {10, 20, 310, 220}), (ScreenPoint{10, 20}));
  // Too wide only: x pinned to the left edge, y still centred.
  EXPECT_EQ(CentreOnWorkArea(500, 100, {0, 0, 300, 600}), (ScreenPoint{0, 250}));
}

TEST(WindowPlacementTest, FitsExactly) {
  EXPECT_EQ(CentreOnWorkArea(300, 200, {5, 6, 305, 206}), (ScreenPoint{5, 6}));
}

}  // namespace
