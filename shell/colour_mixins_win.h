#pragma once
// The two colour mix-ins of our windows. Chain them from the window's ProcessWindowMessage after
// its own handlers: CPaintBkgnd first, then CCtrlColor.
#include <windows.h>

#include "base/unique_handle_win.h"
#include "shell/button_look.h"

// Text colour and background brush of the window's statics. t_bTransparent 1: the hollow stock
// brush (text straight on the window's background); 0: a solid brush of t_crBrush, owned here.
template <class T, int t_bTransparent, COLORREF t_crText, COLORREF t_crBrush>
class CCtrlColor {
 public:
  CCtrlColor()
      : m_ownedBrush(t_bTransparent ? nullptr : ::CreateSolidBrush(t_crBrush)),
        m_hBrush(t_bTransparent ? static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH))
                                : static_cast<HBRUSH>(m_ownedBrush.get())) {}

  BOOL ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result, DWORD = 0) {
    if (message != WM_CTLCOLORBTN && message != WM_CTLCOLORSTATIC) return FALSE;
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, t_crText);
    const auto request = message == WM_CTLCOLORSTATIC ? ControlColourRequest::Static : ControlColourRequest::Button;
    wchar_t className[32] = {};
    const int length = ::GetClassNameW(reinterpret_cast<HWND>(lParam), className, 32);
    const U16View name(reinterpret_cast<const char16_t*>(className), length > 0 ? static_cast<size_t>(length) : 0);
    result = HandsOutBrush(request, name) ? reinterpret_cast<LRESULT>(m_hBrush) : 0;
    return TRUE;
  }

  HBRUSH Brush() const { return m_hBrush; }

 private:
  UniqueGdiObject m_ownedBrush;
  HBRUSH m_hBrush;
};

// The window's background in one colour, drawn off-screen and copied in one BitBlt so it never
// flickers. The middle argument is unused.
template <class T, int t_nUnused, COLORREF t_crBkgnd>
class CPaintBkgnd {
 public:
  CPaintBkgnd() : m_brush(::CreateSolidBrush(t_crBkgnd)) {}

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM, LRESULT& result, DWORD = 0) {
    if (message != WM_ERASEBKGND) return FALSE;
    HDC dc = reinterpret_cast<HDC>(wParam);
    RECT client{};
    ::GetClientRect(hWnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width > 0 && height > 0) {
      UniqueMemoryDc memory(::CreateCompatibleDC(dc));
      UniqueGdiObject bitmap(::CreateCompatibleBitmap(dc, width, height));
      if (memory && bitmap) {
        HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
        RECT area{0, 0, width, height};
        ::FillRect(memory.get(), &area, static_cast<HBRUSH>(m_brush.get()));
        ::BitBlt(dc, client.left, client.top, width, height, memory.get(), 0, 0, SRCCOPY);
        ::SelectObject(memory.get(), old);
      }
    }
    result = 1;
    return TRUE;
  }

  HBRUSH Brush() const { return static_cast<HBRUSH>(m_brush.get()); }

 private:
  UniqueGdiObject m_brush;
};
