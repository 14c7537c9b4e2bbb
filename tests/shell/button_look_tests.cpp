// The drawn button's colour choice and text centring, and the control-colour decision.
#include <gtest/gtest.h>

#include "shell/button_look.h"
#include "res/resource.h"

namespace {

TEST(ButtonLookTest, FillFollowsPressedThenDisabledThenHoverThenNormal) {
  const ButtonColours c{0x000001, 0x000002, 0x000003, 0x000004, 0x000005};
  EXPECT_EQ(ButtonFill(c, {false, false, false}), c.normal);
  EXPECT_EQ(ButtonFill(c, {true, false, false}), c.hover);
  EXPECT_EQ(ButtonFill(c, {false, true, false}), c.pressed);
  EXPECT_EQ(ButtonFill(c, {true, true, false}), c.pressed);  // pressed wins over hover
  EXPECT_EQ(ButtonFill(c, {false, false, true}), kDisabledFill);
  EXPECT_EQ(ButtonFill(c, {true, false, true}), kDisabledFill);  // disabled wins over hover
  EXPECT_EQ(ButtonFill(c, {true, true, true}), c.pressed);       // pressed wins over disabled
}

TEST(ButtonLookTest, TextIsGreyOnlyWhileDisabled) {
  ButtonColours c;
  c.text = 0x123456;
  EXPECT_EQ(ButtonTextColour(c, false), 0x123456u);
  EXPECT_EQ(ButtonTextColour(c, true), 0xB4B4B4u);
}

TEST(ButtonLookTest, DefaultsAreTheRunButtonColours) {
  const ButtonColours d;
  EXPECT_EQ(d.normal, 0xFF9933u);
  EXPECT_EQ(d.hover, 0xB56B05u);
  EXPECT_EQ(d.pressed, 0x858585u);
  EXPECT_EQ(d.frame, 0xFFFFFFu);
  EXPECT_EQ(d.text, 0xFFFFFFu);
}

TEST(ButtonLookTest, MainWindowColourTable) {
  constexpr Colour kBlue = 0xD6920F;
  EXPECT_EQ(MainWindowButtonColours(IDC_START), ButtonColours{});
  EXPECT_EQ(MainWindowButtonColours(IDC_STOP), ButtonColours{});
  EXPECT_EQ(MainWindowButtonColours(IDC_CLOSE), (ButtonColours{kBlue, 0x2524DA, 0x001196, kBlue, 0xFFFFFF}));
  EXPECT_EQ(MainWindowButtonColours(IDC_MINIMIZE), (ButtonColours{kBlue, 0xFFB321, 0x815808, kBlue, 0xFFFFFF}));
  EXPECT_EQ(MainWindowButtonColours(IDC_WEB_PAGE), (ButtonColours{kBlue, 0xFFB321, 0x815808, kBlue, 0xFFFFFF}));
  // The clear-log button looks the same hovered and pressed.
  const ButtonColours clear = MainWindowButtonColours(IDC_CLEAR_LOG);
  EXPECT_EQ(clear, (ButtonColours{kBlue, 0xFFB321, 0xFFB321, kBlue, 0xFFFFFF}));
  EXPECT_EQ(ButtonFill(clear, {true, false, false}), ButtonFill(clear, {true, true, false}));
}

TEST(ButtonLookTest, BlockIsCentredWithHalvesTruncatingTowardsZero) {
  EXPECT_EQ(CentreBlock(48, 34, 24, 14), (BlockOffset{12, 10}));
  EXPECT_EQ(CentreBlock(49, 35, 24, 14), (BlockOffset{12, 10}));  // odd leftovers: 25/2 = 12, 21/2 = 10
  EXPECT_EQ(CentreBlock(24, 14, 24, 14), (BlockOffset{0, 0}));
  // A block taller than the client (wrapped text) moves up by half the excess, truncated.
  EXPECT_EQ(CentreBlock(40, 20, 40, 45), (BlockOffset{0, -12}));
  EXPECT_EQ(CentreBlock(0, 0, 0, 0), (BlockOffset{0, 0}));
  // Extreme sizes do not overflow.
  EXPECT_EQ(CentreBlock(2147483647, 0, -2147483647 - 1, 0).dx, 2147483647);
}

TEST(ButtonLookTest, StaticsGetTheBrushExceptEditControls) {
  EXPECT_TRUE(HandsOutBrush(ControlColourRequest::Static, u"Static"));
  EXPECT_TRUE(HandsOutBrush(ControlColourRequest::Static, u"ComboBox"));
  EXPECT_TRUE(HandsOutBrush(ControlColourRequest::Static, u""));
  EXPECT_TRUE(HandsOutBrush(ControlColourRequest::Static, u"Edit2"));
  EXPECT_TRUE(HandsOutBrush(ControlColourRequest::Static, u"Edi"));
  EXPECT_FALSE(HandsOutBrush(ControlColourRequest::Static, u"Edit"));
  EXPECT_FALSE(HandsOutBrush(ControlColourRequest::Static, u"EDIT"));
  EXPECT_FALSE(HandsOutBrush(ControlColourRequest::Button, u"Button"));
  EXPECT_FALSE(HandsOutBrush(ControlColourRequest::Button, u"Static"));
}

}  // namespace
