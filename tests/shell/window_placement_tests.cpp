// Centring the main window on the work area (the arithmetic itself: geometry_tests.cpp).
#include <gtest/gtest.h>

#include "shell/window_placement.h"

namespace {

TEST(WindowPlacementTest, CentredOnTheWorkArea) {
  // 1280x800 screen with a 40-pixel taskbar at the bottom.
  EXPECT_EQ(CentreOnWorkArea(443, 406, {0, 0, 1280, 760}), (Point{640 - 221, 380 - 203}));
}

}  // namespace
