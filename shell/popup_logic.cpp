#include "shell/popup_logic.h"

CountdownTick StepCountdown(bool visible, int countdown) {
  if (!visible) return {kPopupDefaultSeconds, false};
  // "countdown - 1 > 0" written so that no stored value can overflow.
  if (countdown > 1) return {countdown - 1, false};
  return {kPopupDefaultSeconds, true};
}

NotificationPlan PlanNotification(int show, int seconds, bool popupExists, bool popupVisible,
                                  U16View text, U16View title) {
  NotificationPlan plan;
  plan.seconds = seconds == 0 ? kPopupDefaultSeconds : seconds;
  if (!popupExists) {
    plan.Add(PopupStep::Create);
    popupVisible = false;  // a new popup starts hidden
  }
  if (!text.empty() || !title.empty()) plan.Add(PopupStep::SetMessage);
  if (show == 0) {
    plan.Add(PopupStep::FadeOut);
    return plan;
  }
  if (popupVisible) plan.Add(PopupStep::FadeOut);
  plan.Add(PopupStep::PlaceInCorner);
  plan.Add(PopupStep::SlideIn);
  if (plan.seconds > 0) plan.Add(PopupStep::SetCountdown);
  return plan;
}

Point CornerPosition(const Rect& workArea, int width, int height) {
  return {workArea.right - width, workArea.bottom - height};
}

Point OkButtonPosition(int clientWidth, int clientHeight, int buttonWidth, int buttonHeight) {
  return {(clientWidth - buttonWidth) / 2,
          static_cast<int>(static_cast<double>(clientHeight) - 1.5 * buttonHeight)};
}

void StorePopupTexts(char16_t (&textField)[kPopupTextUnits],
                     char16_t (&titleField)[kPopupTitleUnits], U16View text, U16View title) {
  CopyToField(textField, kPopupTextUnits, text);
  CopyToField(titleField, kPopupTitleUnits, title);
}
