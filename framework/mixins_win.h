#pragma once
// The framework's small mix-ins, as far as our windows use them.
#include "framework/reflect_win.h"
#include "framework/window_win.h"

// Owner drawing for a control that draws itself: the reflected WM_DRAWITEM (OCM_DRAWITEM) goes
// to T::DrawButton. Chain it from T::ProcessWindowMessage.
template <class T>
class COwnerDraw {
 public:
  BOOL ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result, DWORD = 0) {
    if (message != OCM_DRAWITEM || lParam == 0) return FALSE;
    static_cast<T*>(this)->DrawButton(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    result = TRUE;
    return TRUE;
  }
};

// User-interface updating: our windows declare no update entries, so it adds nothing.
template <class T>
class CUpdateUI {};

// Binding a dialog's controls: attach a window object to a control by id, or fetch a handle.
template <class T>
class CWinDataExchange {
 public:
  // Subclasses control `id` with `control` (a CWindowImpl object). False when the control is
  // missing or cannot be subclassed.
  template <class TControl>
  bool DDX_Control(int id, TControl& control) {
    if (control.m_hWnd != nullptr) return true;
    HWND item = ::GetDlgItem(static_cast<T*>(this)->m_hWnd, id);
    return item != nullptr && control.SubclassWindow(item);
  }
  // The handle of control `id` (null when missing).
  bool DDX_Control_Handle(int id, HWND& handle) {
    handle = ::GetDlgItem(static_cast<T*>(this)->m_hWnd, id);
    return handle != nullptr;
  }
};
