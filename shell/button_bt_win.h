#pragma once
// The flat drawn push button: a 1-pixel frame, a solid fill that follows the mouse and the
// button's state, and centred, word-wrapped text. It binds to an existing button control of a
// dialog; the dialog reflects the draw request back to it.
#include <windows.h>

#include "framework/mixins_win.h"
#include "framework/window_impl_win.h"
#include "shell/button_look.h"

class CButtonBT : public CWindowImpl<CButtonBT, CButtonT<CWindow>, CWinTraits<0x56000000, 0>>,
                  public COwnerDraw<CButtonBT> {
 public:
  BOOL m_bHover = FALSE;
  COLORREF m_crNormal = 0xFF9933;
  COLORREF m_crHover = 0xB56B05;
  COLORREF m_crPressed = 0x858585;
  COLORREF m_crFrame = 0xFFFFFF;
  COLORREF m_crText = 0xFFFFFF;

  // Subclasses the control and makes it owner-drawn. False when subclassing failed.
  BOOL SubclassWindow(HWND hWnd);

  void SetColours(const ButtonColours& colours);
  ButtonColours Colours() const;

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId = 0) override;
  void DrawButton(LPDRAWITEMSTRUCT item);

 private:
  void MakeOwnerDrawn();
};
