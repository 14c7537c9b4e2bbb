// Centring a box over a rectangle and pulling it inside an area, as the main window, the about
// box and the tray menu use them.
#include "base/geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(CentreInside, HalvesTruncateTowardsZero) {
  // (0 + 1279) / 2 = 639, 101 / 2 = 50; (-101 + 0) / 2 = -50 (towards zero, not -51).
  const Rect odd{0, -101, 1279, 0};
  EXPECT_EQ(CentreInside(odd, 101, 11, odd), (Point{589, -50 - 5}));
  const Rect work{0, 40, 1280, 800};
  EXPECT_EQ(CentreInside(work, 201, 171, work), (Point{540, 335}));
}

TEST(CentreInside, AreaNotAtTheOrigin) {
  // Taskbar on the left: the work area starts at x = 60.
  const Rect work{60, 0, 1060, 700};
  EXPECT_EQ(CentreInside(work, 200, 100, work), (Point{460, 300}));
}

TEST(CentreInside, PulledBackInsideTheArea) {
  const Rect work{0, 0, 1280, 770};
  // Centred over a rectangle hanging off the bottom-right corner.
  EXPECT_EQ(CentreInside({1200, 700, 1500, 900}, 200, 170, work), (Point{1080, 600}));
  // One off the top-left.
  EXPECT_EQ(CentreInside({-400, -300, -100, -100}, 200, 170, work), (Point{0, 0}));
  const Rect exact{5, 6, 305, 206};
  EXPECT_EQ(CentreInside(exact, 300, 200, exact), (Point{5, 6}));
}

TEST(CentreInside, LargerThanTheAreaPutsTheCornerAtItsCorner) {
  const Rect small{10, 20, 310, 220};
  EXPECT_EQ(CentreInside(small, 500, 400, small), (Point{10, 20}));
  // Too wide only: x pinned to the left edge, y still centred.
  const Rect narrow{0, 0, 300, 600};
  EXPECT_EQ(CentreInside(narrow, 500, 100, narrow), (Point{0, 250}));
}

TEST(PullInside, NearEdgeFirstElseFarEdge) {
  const Rect area{0, 0, 300, 200};
  // A point: the far edges count as inside.
  EXPECT_EQ(PullInside({-5, 250}, 0, 0, area), (Point{0, 200}));
  // A box larger than the area: from before the near edge it lands on it; from inside, its far
  // edge is put on the area's far edge.
  EXPECT_EQ(PullInside({-5, 10}, 301, 201, area), (Point{0, -1}));
}

}  // namespace
