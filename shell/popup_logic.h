#pragma once
// The notification popup's plain arithmetic and decisions: the once-a-second countdown, the
// order of steps a ShowNotification call takes, and where the popup and its button go.
// No platform header: the Win32 popup executes what these functions decide.
#include <array>
#include <cstddef>

#include "base/geometry.h"
#include "base/utf16.h"

constexpr int kPopupDefaultSeconds = 60;
constexpr size_t kPopupTextUnits = 260;   // body text field, terminator included
constexpr size_t kPopupTitleUnits = 50;   // title field, terminator included

// One tick of timer 1. A visible popup counts down and fades out when the count is used up;
// a hidden popup keeps its count at 60.
struct CountdownTick {
  int countdown = kPopupDefaultSeconds;  // the count after this tick
  bool fadeOut = false;                  // animate the popup out now
  bool operator==(const CountdownTick&) const = default;
};
CountdownTick StepCountdown(bool visible, int countdown);

// The steps of one ShowNotification call, in the order they are taken.
enum class PopupStep {
  Create,          // create the popup window from its template, hidden
  SetMessage,      // copy text and title into the popup
  FadeOut,         // AnimateWindow 500 ms, AW_HIDE | AW_BLEND
  PlaceInCorner,   // topmost, no activation, bottom-right corner of the work area
  SlideIn,         // AnimateWindow 500 ms, AW_SLIDE | AW_VER_NEGATIVE
  SetCountdown,    // m_nCountdown = plan.seconds
};

struct NotificationPlan {
  std::array<PopupStep, 6> steps{};
  size_t count = 0;
  int seconds = 0;  // the seconds after "0 means 60"

  void Add(PopupStep step) { steps[count++] = step; }
  const PopupStep* begin() const { return steps.data(); }
  const PopupStep* end() const { return steps.data() + count; }
};

// popupExists: the owner already holds a popup. popupVisible: that popup is on screen now
// (a popup about to be created is hidden).
NotificationPlan PlanNotification(int show, int seconds, bool popupExists, bool popupVisible,
                                  U16View text, U16View title);

// Top-left corner that puts a window of the given size into the work area's bottom-right corner.
Point CornerPosition(const Rect& workArea, int width, int height);

// Top-left of the "确定" button: centred across the client area, its bottom edge half a button
// height above the client area's bottom edge.
Point OkButtonPosition(int clientWidth, int clientHeight, int buttonWidth, int buttonHeight);

// Copies the texts into the popup's fixed fields, cut to 259 and 49 characters.
void StorePopupTexts(char16_t (&textField)[kPopupTextUnits],
                     char16_t (&titleField)[kPopupTitleUnits], U16View text, U16View title);
