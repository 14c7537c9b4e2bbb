#include "shell/button_bt_win.h"

#include <commctrl.h>

#include <vector>

#include "shell/dpi_win.h"

namespace {
// A solid rectangle: an opaque output of no text in the background colour.
void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  const COLORREF previous = ::SetBkColor(dc, colour);
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, L"", 0, nullptr);
  ::SetBkColor(dc, previous);
}
}  // namespace

BOOL CButtonBT::SubclassWindow(HWND hWnd) {
  if (!CWindowImpl::SubclassWindow(hWnd)) return FALSE;
  MakeOwnerDrawn();
  return TRUE;
}

void CButtonBT::MakeOwnerDrawn() {
  const DWORD style = GetStyle();
  if ((style & BS_TYPEMASK) != BS_OWNERDRAW) {
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>(style | BS_OWNERDRAW));
    Invalidate(FALSE);
  }
}

void CButtonBT::SetColours(const ButtonColours& colours) {
  m_crNormal = colours.normal;
  m_crHover = colours.hover;
  m_crPressed = colours.pressed;
  m_crFrame = colours.frame;
  m_crText = colours.text;
}

ButtonColours CButtonBT::Colours() const { return {m_crNormal, m_crHover, m_crPressed, m_crFrame, m_crText}; }

BOOL CButtonBT::ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result, DWORD mapId) {
  switch (message) {
    case WM_CREATE:
      MakeOwnerDrawn();
      return FALSE;  // the control's own creation goes on
    case WM_ERASEBKGND:
      result = 1;  // the drawing covers everything: never erase, never flicker
      return TRUE;
    case WM_MOUSEMOVE:
      if (!m_bHover) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = hWnd;
        track.dwHoverTime = 1;
        m_bHover = ::_TrackMouseEvent(&track);
        ::InvalidateRect(hWnd, nullptr, FALSE);
      }
      return FALSE;  // the button still tracks presses
    case WM_MOUSELEAVE:
      m_bHover = FALSE;
      ::InvalidateRect(hWnd, nullptr, FALSE);
      return FALSE;
    default:
      break;
  }
  if (COwnerDraw<CButtonBT>::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
  return DefaultReflectionHandler(hWnd, message, wParam, lParam, result);
}

void CButtonBT::DrawButton(LPDRAWITEMSTRUCT item) {
  HDC dc = item->hDC;
  const ButtonState state{m_bHover != FALSE, (item->itemState & ODS_SELECTED) != 0,
                          (item->itemState & ODS_DISABLED) != 0};

  const int saved = ::SaveDC(dc);
  FillSolid(dc, item->rcItem, m_crFrame);
  RECT inner = item->rcItem;
  const int frame = ScaleForWindow(m_hWnd, 1);  // one pixel at 96 DPI
  ::InflateRect(&inner, -frame, -frame);
  FillSolid(dc, inner, ButtonFill(Colours(), state));
  ::RestoreDC(dc, saved);

  const int length = ::GetWindowTextLengthW(m_hWnd);
  if (length <= 0) return;
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  if (::GetWindowTextW(m_hWnd, text.data(), length + 1) <= 0) return;

  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  const int textSaved = ::SaveDC(dc);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ButtonTextColour(Colours(), state.disabled));
  RECT block = client;
  ::DrawTextW(dc, text.data(), -1, &block, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
  const BlockOffset offset = CentreBlock(client.right - client.left, client.bottom - client.top,
                                         block.right - block.left, block.bottom - block.top);
  ::OffsetRect(&block, offset.dx, offset.dy);
  ::DrawTextW(dc, text.data(), -1, &block, DT_WORDBREAK | DT_CENTER);
  ::RestoreDC(dc, textSaved);
}
