#include "shell/about_text.h"

#include <gtest/gtest.h>

namespace {

TEST(AboutText, NameSpaceVVersionThenAnEmptyLineThenCopyright) {
  U16 text = AboutText(u"Corvell网站监控", u"1.1.0.0");
  EXPECT_EQ(text.substr(0, text.find(u'\r')), u"Corvell网站监控 v1.1.0.0");
  size_t firstBreak = text.find(u"\r\n");
  ASSERT_NE(firstBreak, U16::npos);
  EXPECT_EQ(text.substr(firstBreak, 4), u"\r\n\r\n");
  U16 last = text.substr(firstBreak + 4);
  EXPECT_FALSE(last.empty());
  EXPECT_EQ(last.find(u"\r\n"), U16::npos);  // exactly three lines
  EXPECT_NE(last.find(u"Copyright"), U16::npos);
}

TEST(AboutText, VersionTakenAsItStands) {
  EXPECT_EQ(AboutText(u"", u"").substr(0, 4), u" v\r\n");
  U16 odd = AboutText(u"N", u"2.0 beta%s");
  EXPECT_EQ(odd.substr(0, odd.find(u'\r')), u"N v2.0 beta%s");  // no format expansion
}

// Centring and pulling inside the work area: tests/shell/geometry_tests.cpp.
TEST(AboutPlacement, CentredOverAVisibleOwner) {
  Rect work{0, 0, 1280, 770};
  Rect owner{100, 100, 600, 500};
  EXPECT_EQ(CentreBox(200, 170, owner, work), (Point{250, 215}));
}

TEST(AboutPlacement, KeptInsideTheWorkArea) {
  // A box larger than the work area keeps its top-left corner at the work area's.
  EXPECT_EQ(CentreBox(2000, 900, {900, 500, 1280, 770}, {10, 20, 1280, 770}), (Point{10, 20}));
}

}  // namespace
