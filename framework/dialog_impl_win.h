#pragma once
// A C++ object bound to a dialog built from a template of ours. The dialog procedure binds the
// object on WM_INITDIALOG (the creation parameter the caller gave still reaches OnInitDialog)
// and unbinds it on WM_NCDESTROY; OnFinalMessage runs once the outermost message has returned.
// Unhandled messages get the dialog manager's default processing. No exception leaves the
// dialog procedure.
#include "framework/window_binding_win.h"
#include "framework/window_win.h"

template <class TBase = CWindow>
class CDialogImplBaseT : public TBase, public CMessageMap {
 public:
  CDialogImplBaseT() = default;
  CDialogImplBaseT(const CDialogImplBaseT&) = delete;
  CDialogImplBaseT& operator=(const CDialogImplBaseT&) = delete;
  // An object that goes away while its window still exists unbinds first, so the window's last
  // messages never reach the half-destroyed object, then destroys the window.
  virtual ~CDialogImplBaseT() {
    HWND hWnd = this->m_hWnd;
    if (hWnd != nullptr && ::IsWindow(hWnd)) {
      framework_detail::UnbindWindowObject(hWnd);
      this->m_hWnd = nullptr;
      ::DestroyWindow(hWnd);
    }
  }

  virtual DLGPROC GetDialogProc() { return DialogProc; }
  virtual void OnFinalMessage(HWND) {}

  // Ends a modal dialog with the given result.
  BOOL EndDialog(int result) { return ::EndDialog(this->m_hWnd, result); }

  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogImplBaseT* self = nullptr;
    if (message == WM_INITDIALOG) {
      auto* creation = reinterpret_cast<const CreationParams*>(lParam);
      if (creation == nullptr || creation->self == nullptr) return FALSE;
      self = creation->self;
      if (!framework_detail::BindWindowObject(hWnd, self)) return FALSE;
      self->m_hWnd = hWnd;
      lParam = creation->initParam;
    } else {
      self = static_cast<CDialogImplBaseT*>(framework_detail::BoundWindowObject(hWnd));
    }
    if (self == nullptr || self->m_hWnd != hWnd) return FALSE;
    return self->Route(hWnd, message, wParam, lParam);
  }

 protected:
  // Handed to the dialog manager as the creation parameter, read back on WM_INITDIALOG.
  struct CreationParams {
    CDialogImplBaseT* self;
    LPARAM initParam;
  };

 private:
  // Messages whose answer is the dialog procedure's return value itself; every other handled
  // message answers through DWLP_MSGRESULT.
  static bool AnswersDirectly(UINT message) {
    switch (message) {
      case WM_INITDIALOG: case WM_COMPAREITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM:
      case WM_QUERYDRAGICON: case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN: case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
        return true;
      default:
        return false;
    }
  }

  INT_PTR Route(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ++m_nesting.depth;
    LRESULT result = 0;
    BOOL handled = FALSE;
    try {
      handled = this->ProcessWindowMessage(hWnd, message, wParam, lParam, result, 0);
    } catch (...) {
      handled = TRUE;
      result = 0;
    }
    INT_PTR answer = FALSE;
    if (handled) {
      if (AnswersDirectly(message)) {
        answer = static_cast<INT_PTR>(result);
      } else {
        if (!m_nesting.destroyed && message != WM_NCDESTROY) ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
        answer = TRUE;
      }
    }
    if (message == WM_NCDESTROY) {
      framework_detail::UnbindWindowObject(hWnd);
      this->m_hWnd = nullptr;
      m_nesting.destroyed = true;
    }
    if (m_nesting.LeaveAndTakeFinal()) {
      try {
        OnFinalMessage(hWnd);  // may delete this object: nothing of it is touched afterwards
      } catch (...) {
      }
    }
    return answer;
  }

  framework_detail::MessageNesting m_nesting;
};

// T names its template with `enum { IDD = <template id> };`.
template <class T, class TBase = CWindow>
class CDialogImpl : public CDialogImplBaseT<TBase> {
  using Base = CDialogImplBaseT<TBase>;

 public:
  // A modeless dialog; its initialisation runs inside this call. Null when it failed.
  HWND Create(HWND parent, LPARAM initParam = 0) {
    if (this->m_hWnd != nullptr) return nullptr;
    typename Base::CreationParams creation{this, initParam};
    return ::CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                                this->GetDialogProc(), reinterpret_cast<LPARAM>(&creation));
  }

  // A modal dialog: runs its own loop until EndDialog; returns the EndDialog value (-1 when the
  // dialog could not be created).
  INT_PTR DoModal(HWND parent = ::GetActiveWindow(), LPARAM initParam = 0) {
    if (this->m_hWnd != nullptr) return -1;
    typename Base::CreationParams creation{this, initParam};
    return ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                             this->GetDialogProc(), reinterpret_cast<LPARAM>(&creation));
  }

  BOOL DestroyWindow() { return ::DestroyWindow(this->m_hWnd); }
};
