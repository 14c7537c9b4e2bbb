#include "shell/message_box_dlg_win.h"

#include <utility>

#include "framework/reflect_win.h"
#include "base/geometry_win.h"
#include "base/wide_text_win.h"
#include "shell/dpi_win.h"

void CMessageBoxDlg::SetMessage(U16View text, U16View title) {
  StorePopupTexts(m_szText, m_szTitle, text, title);
  SetDlgItemTextW(IDC_POPUP_TEXT, AsWide(m_szText));
  SetDlgItemTextW(IDC_POPUP_TITLE, AsWide(m_szTitle));
}

void CMessageBoxDlg::FadeOut() { ::AnimateWindow(m_hWnd, kAnimationMs, AW_HIDE | AW_BLEND); }

BOOL CMessageBoxDlg::ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          LRESULT& result, DWORD) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      // FALSE: no default focus. Focusing a control would activate the (hidden) popup and take
      // the activation from whatever window the user works in.
      result = FALSE;
      return TRUE;
    case WM_DESTROY:
      if (m_bTimer != 0) ::KillTimer(m_hWnd, kCountdownTimer);
      m_bTimer = 0;
      m_hTitleFont.reset();
      return FALSE;  // the dialog's own processing continues
    case WM_TIMER:
      if (wParam != kCountdownTimer) break;
      OnCountdownTick();
      result = 0;
      return TRUE;
    case WM_DPICHANGED:
      // Moved to a monitor of another scale: the size Windows suggests; the dialog's own
      // processing goes on and scales the controls, then the title font and the button follow.
      TakeSuggestedRect(m_hWnd, lParam);
      PostMessageW(kDpiLayoutMessage);
      return FALSE;
    case kDpiLayoutMessage:
      SetTitleFont(WindowDpi(m_hWnd));
      PlaceOkButton();
      result = 0;
      return TRUE;
    case WM_LBUTTONDOWN:
      // A press anywhere on the surface or a label drags the caption-less popup.
      SendMessageW(WM_NCLBUTTONDOWN, HTCAPTION, 0);
      result = 0;
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        ShowWindow(SW_HIDE);
        result = 0;
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        DestroyWindow();
        result = 0;
        return TRUE;
      }
      break;
    default:
      break;
  }
  if (CPaintBkgnd::ProcessWindowMessage(hWnd, message, wParam, lParam, result)) return TRUE;
  if (CCtrlColor::ProcessWindowMessage(hWnd, message, wParam, lParam, result)) return TRUE;
  return ReflectNotifications(hWnd, message, wParam, lParam, result) ? TRUE : FALSE;
}

void CMessageBoxDlg::OnInitDialog() {
  m_pStaticText = GetDlgItem(IDC_POPUP_TEXT);
  m_btnOk.SubclassWindow(GetDlgItem(IDOK));
  m_btnCancel.SubclassWindow(GetDlgItem(IDCANCEL));
  PlaceOkButton();
  ModifyStyleEx(0, WS_EX_TOOLWINDOW);  // no taskbar button
  ::SetWindowTextW(m_pStaticText, AsWide(m_szText));
  SetDlgItemTextW(IDC_POPUP_TITLE, AsWide(m_szTitle));
  SetTitleFont(WindowDpi(m_hWnd));
  m_bTimer = ::SetTimer(m_hWnd, kCountdownTimer, 1000, nullptr);
}

void CMessageBoxDlg::SetTitleFont(int dpi) {
  // 14 pixels at 96 DPI: the title keeps its proportion to the dialog font at any scale.
  UniqueGdiObject font(::CreateFontW(ScaleToDpi(kTitleFontPixels, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                     GB2312_CHARSET, 0, 0, 0, 0, L"宋体"));
  if (!font) return;
  ::SendDlgItemMessageW(m_hWnd, IDC_POPUP_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  m_hTitleFont = std::move(font);  // the old font goes once the static no longer uses it
}

void CMessageBoxDlg::PlaceOkButton() {
  HWND ok = GetDlgItem(IDOK);
  if (ok == nullptr) return;
  RECT client{};
  GetClientRect(&client);
  RECT button{};
  ::GetWindowRect(ok, &button);
  const Rect clientRect = FromWinRect(client);
  const Rect buttonRect = FromWinRect(button);
  const int width = buttonRect.Width();
  const int height = buttonRect.Height();
  const Point at = OkButtonPosition(clientRect.Width(), clientRect.Height(), width, height);
  ::MoveWindow(ok, at.x, at.y, width, height, TRUE);
}

void CMessageBoxDlg::OnCountdownTick() {
  const CountdownTick tick = StepCountdown(IsWindowVisible() != FALSE, m_nCountdown);
  if (tick.fadeOut) FadeOut();
  m_nCountdown = tick.countdown;
}

void CMessageBoxDlg::OnFinalMessage(HWND) {
  if (m_ownerSlot != nullptr && *m_ownerSlot == this) *m_ownerSlot = nullptr;
  delete this;
}
