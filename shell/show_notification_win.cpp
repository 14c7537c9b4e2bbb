#include "shell/show_notification_win.h"

#include <new>

#include "base/geometry_win.h"

namespace {

// A popup the owner's slot points to, or null when it could not be created.
CMessageBoxDlg* CreatePopup(CMessageBoxDlg*& slot) {
  auto* popup = new (std::nothrow) CMessageBoxDlg(&slot);
  if (popup == nullptr) return nullptr;
  slot = popup;
  if (popup->Create(::GetDesktopWindow()) == nullptr) {
    // No window: no final message will release the object.
    slot = nullptr;
    delete popup;
    return nullptr;
  }
  return popup;
}

void PlaceInCorner(CMessageBoxDlg& popup) {
  RECT window{};
  popup.GetWindowRect(&window);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const Rect windowRect = FromWinRect(window);
  const Point at = CornerPosition(FromWinRect(work), windowRect.Width(), windowRect.Height());
  popup.SetWindowPos(HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

int ShowNotification(CMessageBoxDlg*& popup, int show, int seconds, U16View text, U16View title) {
  const bool exists = popup != nullptr;
  const bool visible = exists && popup->IsWindowVisible();
  const NotificationPlan plan = PlanNotification(show, seconds, exists, visible, text, title);
  for (PopupStep step : plan) {
    if (step != PopupStep::Create && popup == nullptr) return 1;
    switch (step) {
      case PopupStep::Create:
        if (CreatePopup(popup) == nullptr) return 1;
        break;
      case PopupStep::SetMessage:
        popup->SetMessage(text, title);
        break;
      case PopupStep::FadeOut:
        popup->FadeOut();
        break;
      case PopupStep::PlaceInCorner:
        PlaceInCorner(*popup);
        break;
      case PopupStep::SlideIn:
        ::AnimateWindow(popup->m_hWnd, CMessageBoxDlg::kAnimationMs, AW_SLIDE | AW_VER_NEGATIVE);
        break;
      case PopupStep::SetCountdown:
        popup->SetCountdown(plan.seconds);
        break;
    }
  }
  return 1;
}

void DestroyPopup(CMessageBoxDlg*& popup) {
  if (popup != nullptr) popup->DestroyWindow();
  popup = nullptr;  // already null when the popup released itself
}
