#include "shell/popup_logic.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using S = PopupStep;

std::vector<PopupStep> Steps(const NotificationPlan& plan) { return {plan.begin(), plan.end()}; }

TEST(PopupCountdown, VisiblePopupCountsDownAndFadesAtZero) {
  // A popup shown for 3 seconds fades out at the third tick and is back at 60.
  int count = 3;
  std::vector<bool> fades;
  for (int tick = 0; tick < 3; ++tick) {
    CountdownTick t = StepCountdown(true, count);
    count = t.countdown;
    fades.push_back(t.fadeOut);
  }
  EXPECT_EQ(fades, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(count, 60);
}

TEST(PopupCountdown, HiddenPopupStaysAtSixty) {
  EXPECT_EQ(StepCountdown(false, 7), (CountdownTick{60, false}));
  EXPECT_EQ(StepCountdown(false, 60), (CountdownTick{60, false}));
  EXPECT_EQ(StepCountdown(false, 0), (CountdownTick{60, false}));
}

TEST(PopupCountdown, ZeroOrNegativeCountOnAVisiblePopupFadesAtOnce) {
  EXPECT_EQ(StepCountdown(true, 1), (CountdownTick{60, true}));
  EXPECT_EQ(StepCountdown(true, 0), (CountdownTick{60, true}));
  EXPECT_EQ(StepCountdown(true, INT32_MIN), (CountdownTick{60, true}));
  EXPECT_EQ(StepCountdown(true, 2), (CountdownTick{1, false}));
}

TEST(PopupPlan, FirstHideRequestCreatesThePopupHiddenWithTheTitle) {
  NotificationPlan plan = PlanNotification(0, 0, false, false, u"", u"Dorvane提示");
  EXPECT_EQ(Steps(plan), (std::vector<S>{S::Create, S::SetMessage, S::FadeOut}));
}

TEST(PopupPlan, HideRequestNeverTouchesTheCountdownOrPosition) {
  for (bool visible : {false, true}) {
    NotificationPlan plan = PlanNotification(0, 5, true, visible, u"", u"");
    EXPECT_EQ(Steps(plan), (std::vector<S>{S::FadeOut})) << "visible " << visible;
  }
}

TEST(PopupPlan, ShowOnAHiddenPopupPlacesSlidesAndCounts) {
  NotificationPlan plan = PlanNotification(1, 3, true, false, u"监控开始运行...", u"Dorvane提示");
  EXPECT_EQ(Steps(plan),
            (std::vector<S>{S::SetMessage, S::PlaceInCorner, S::SlideIn, S::SetCountdown}));
  EXPECT_EQ(plan.seconds, 3);
}

TEST(PopupPlan, ShowWhileVisibleFadesOutBeforeMovingBack) {
  NotificationPlan plan = PlanNotification(1, 10, true, true, u"x", u"");
  EXPECT_EQ(Steps(plan), (std::vector<S>{S::SetMessage, S::FadeOut, S::PlaceInCorner, S::SlideIn,
                                         S::SetCountdown}));
}

TEST(PopupPlan, ZeroSecondsMeanSixtyAndNegativeKeepsTheCountdown) {
  EXPECT_EQ(PlanNotification(1, 0, true, false, u"a", u"b").seconds, 60);
  NotificationPlan keep = PlanNotification(1, -1, true, false, u"a", u"b");
  EXPECT_EQ(Steps(keep), (std::vector<S>{S::SetMessage, S::PlaceInCorner, S::SlideIn}));
}

TEST(PopupPlan, EmptyTextAndTitleKeepThePreviousTexts) {
  NotificationPlan plan = PlanNotification(7, 4, true, false, u"", u"");
  EXPECT_EQ(Steps(plan), (std::vector<S>{S::PlaceInCorner, S::SlideIn, S::SetCountdown}));
  // Either text alone is enough to replace both.
  EXPECT_EQ(Steps(PlanNotification(1, 4, true, false, u"", u"t"))[0], S::SetMessage);
  EXPECT_EQ(Steps(PlanNotification(1, 4, true, false, u"t", u""))[0], S::SetMessage);
}

TEST(PopupPlan, ShowOnAnAbsentPopupCreatesItAndIgnoresAStaleVisibleFlag) {
  NotificationPlan plan = PlanNotification(1, 3, false, true, u"a", u"b");
  EXPECT_EQ(Steps(plan), (std::vector<S>{S::Create, S::SetMessage, S::PlaceInCorner, S::SlideIn,
                                         S::SetCountdown}));
}

TEST(PopupPlacement, CornerOfTheWorkArea) {
  EXPECT_EQ(CornerPosition({0, 0, 1280, 770}, 262, 178), (Point{1018, 592}));
  // A work area that does not start at the origin (taskbar on the left or top).
  EXPECT_EQ(CornerPosition({40, 30, 1920, 1080}, 300, 200), (Point{1620, 880}));
}

TEST(PopupPlacement, OkButtonCentredAndHalfAHeightAboveTheBottom) {
  // 262 wide client, 75 wide button: (262-75)/2 = 93.5 truncates to 93.
  // 170 high client, 23 high button: 170 - 34.5 = 135.5 truncates to 135.
  EXPECT_EQ(OkButtonPosition(262, 170, 75, 23), (Point{93, 135}));
  // A button wider than the client: the division truncates towards zero (-1, not -2).
  EXPECT_EQ(OkButtonPosition(10, 20, 13, 20), (Point{-1, -10}));
  EXPECT_EQ(OkButtonPosition(100, 100, 50, 10), (Point{25, 85}));
}

TEST(PopupTexts, LongTextsAreCutToTheFieldsAndTerminated) {
  char16_t text[kPopupTextUnits];
  char16_t title[kPopupTitleUnits];
  // Sentinels show that nothing is written past the fields' terminators.
  std::fill(std::begin(text), std::end(text), u'#');
  std::fill(std::begin(title), std::end(title), u'#');
  StorePopupTexts(text, title, U16(300, u'字'), U16(60, u't'));
  EXPECT_EQ(U16(text), U16(259, u'字'));
  EXPECT_EQ(U16(title), U16(49, u't'));

  StorePopupTexts(text, title, u"short", u"");
  EXPECT_EQ(U16(text), u"short");
  EXPECT_EQ(U16(title), u"");
}

TEST(PopupTexts, CutNeverSplitsASurrogatePair) {
  char16_t text[kPopupTextUnits];
  char16_t title[kPopupTitleUnits];
  U16 body(258, u'a');
  body += u"😀";  // units 258 and 259: the pair would be cut in half at 259
  StorePopupTexts(text, title, body, u"t");
  EXPECT_EQ(U16(text), U16(258, u'a'));
}

}  // namespace
