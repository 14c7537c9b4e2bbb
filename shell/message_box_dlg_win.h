#pragma once
// The notification popup (template IDD_POPUP): a white, topmost tool window with a title, a body
// text and a drawn "确定" button that hides it. It counts down once a second while visible and
// fades out when the count is used up. The object deletes itself when its window is gone, and
// then clears the owner's pointer to it.
#include <windows.h>

#include "framework/dialog_impl_win.h"
#include "res/resource.h"
#include "base/unique_handle_win.h"
#include "shell/button_bt_win.h"
#include "shell/colour_mixins_win.h"
#include "shell/popup_logic.h"

class CMessageBoxDlg : public CDialogImpl<CMessageBoxDlg, CWindow>,
                       public CCtrlColor<CMessageBoxDlg, 1, 0, 0xFFFFFF>,
                       public CPaintBkgnd<CMessageBoxDlg, 0, 0xFFFFFF> {
 public:
  enum { IDD = IDD_POPUP };
  static constexpr UINT_PTR kCountdownTimer = 1;
  static constexpr DWORD kAnimationMs = 500;
  static constexpr int kTitleFontPixels = 14;  // at 96 DPI

  // ownerSlot: the owner's pointer to this popup; it is set to null when the popup releases
  // itself, so the owner never holds a released popup. May be null.
  explicit CMessageBoxDlg(CMessageBoxDlg** ownerSlot = nullptr) : m_ownerSlot(ownerSlot) {}

  // Copies the texts (cut to 259 and 49 characters) and shows them.
  void SetMessage(U16View text, U16View title);
  void SetCountdown(int seconds) { m_nCountdown = seconds; }
  int Countdown() const { return m_nCountdown; }
  const char16_t* Text() const { return m_szText; }
  const char16_t* Title() const { return m_szTitle; }

  // AnimateWindow 500 ms with AW_HIDE | AW_BLEND.
  void FadeOut();

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId = 0) override;
  void OnFinalMessage(HWND) override;

 private:
  void OnInitDialog();
  void SetTitleFont(int dpi);
  void PlaceOkButton();
  void OnCountdownTick();

  HWND m_pStaticText = nullptr;
  CButtonBT m_btnOk;
  CButtonBT m_btnCancel;
  UniqueGdiObject m_hTitleFont;
  char16_t m_szText[kPopupTextUnits] = {};
  char16_t m_szTitle[kPopupTitleUnits] = {};
  int m_nCountdown = kPopupDefaultSeconds;
  UINT_PTR m_bTimer = 0;
  CMessageBoxDlg** m_ownerSlot;
};
