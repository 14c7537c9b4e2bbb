#pragma once
// A C++ object bound to an existing window (a dialog's control) by subclassing it. One window
// procedure serves every object of a class: it finds the object through the window's binding,
// offers the message to ProcessWindowMessage and otherwise calls the control's own procedure.
// No exception leaves the window procedure. On WM_NCDESTROY the binding is removed, the
// control's own procedure restored, and OnFinalMessage runs once the outermost message returns.
#include "framework/window_binding_win.h"
#include "framework/window_win.h"

template <class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImplBaseT : public TBase, public CMessageMap {
 public:
  WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;

  CWindowImplBaseT() = default;
  CWindowImplBaseT(const CWindowImplBaseT&) = delete;
  CWindowImplBaseT& operator=(const CWindowImplBaseT&) = delete;
  // An object that goes away before its window gives the window back its own procedure.
  virtual ~CWindowImplBaseT() { UnsubclassWindow(); }

  virtual WNDPROC GetWindowProc() { return WindowProc; }
  virtual void OnFinalMessage(HWND) {}

  // Binds this object to hWnd and routes the window's messages through it. False when the
  // handle is not a window, the object is already bound, or the window cannot be subclassed.
  BOOL SubclassWindow(HWND hWnd) {
    if (this->m_hWnd != nullptr || !::IsWindow(hWnd)) return FALSE;
    if (framework_detail::BoundWindowObject(hWnd) != nullptr) return FALSE;
    if (!framework_detail::BindWindowObject(hWnd, this)) return FALSE;
    m_installedProc = GetWindowProc();
    auto previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_installedProc)));
    if (previous == nullptr) {
      framework_detail::UnbindWindowObject(hWnd);
      return FALSE;
    }
    m_pfnSuperWindowProc = previous;
    this->m_hWnd = hWnd;
    return TRUE;
  }

  // Gives the window its own procedure back. Returns the window, or null when not bound.
  HWND UnsubclassWindow() {
    HWND hWnd = this->m_hWnd;
    if (hWnd == nullptr) return nullptr;
    if (::IsWindow(hWnd)) {
      // Restore only if nobody subclassed the window after us; the binding goes either way, so
      // our procedure (if still called) falls back to default processing.
      if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) == m_installedProc)
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
      framework_detail::UnbindWindowObject(hWnd);
    }
    this->m_hWnd = nullptr;
    m_pfnSuperWindowProc = ::DefWindowProcW;
    return hWnd;
  }

  // The control's own processing of a message.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuperWindowProc, this->m_hWnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CWindowImplBaseT*>(framework_detail::BoundWindowObject(hWnd));
    if (self == nullptr || self->m_hWnd != hWnd) return ::DefWindowProcW(hWnd, message, wParam, lParam);
    return self->Route(hWnd, message, wParam, lParam);
  }

 private:
  LRESULT Route(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC super = m_pfnSuperWindowProc;
    ++m_nesting.depth;
    LRESULT result = 0;
    BOOL handled = FALSE;
    try {
      handled = this->ProcessWindowMessage(hWnd, message, wParam, lParam, result, 0);
    } catch (...) {
      handled = TRUE;  // a failed handler leaves the message answered with 0
      result = 0;
    }
    if (message == WM_NCDESTROY) {
      UnsubclassWindow();
      m_nesting.destroyed = true;
      if (!handled) result = ::CallWindowProcW(super, hWnd, message, wParam, lParam);
    } else if (!handled && !m_nesting.destroyed) {
      result = ::CallWindowProcW(super, hWnd, message, wParam, lParam);
    }
    if (m_nesting.LeaveAndTakeFinal()) {
      try {
        OnFinalMessage(hWnd);  // may delete this object: nothing of it is touched afterwards
      } catch (...) {
      }
    }
    return result;
  }

  WNDPROC m_installedProc = nullptr;
  framework_detail::MessageNesting m_nesting;
};

// The class a window object derives from: T is the object's class, TBase the handle wrapper it
// extends (CButtonT<CWindow> for a button), TWinTraits its creation styles.
template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplBaseT<TBase, TWinTraits> {};
