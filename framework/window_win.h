#pragma once
// The thin window framework our windows are built on: a non-owning window-handle wrapper, the
// creation-style traits, the button wrapper and the message-map interface. Message handlers are
// plain member functions called from ProcessWindowMessage; nothing here is a macro.
#include <windows.h>

// The program image that holds our dialog templates, strings, icons and menus. Known before
// wWinMain runs; the same in the program and in the test programs that link the resources.
HINSTANCE ModuleInstance();

// A window handle with the calls our windows need. It does not own the window: destroying the
// wrapper leaves the window alone.
class CWindow {
 public:
  HWND m_hWnd = nullptr;

  CWindow(HWND hWnd = nullptr) : m_hWnd(hWnd) {}
  CWindow& operator=(HWND hWnd) { m_hWnd = hWnd; return *this; }
  operator HWND() const { return m_hWnd; }

  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }

  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }

  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  HWND GetParent() const { return ::GetParent(m_hWnd); }

  LRESULT SendMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
  }

  BOOL SetWindowTextW(const wchar_t* text) { return ::SetWindowTextW(m_hWnd, text); }
  int GetWindowTextLengthW() const { return ::GetWindowTextLengthW(m_hWnd); }
  int GetWindowTextW(wchar_t* buffer, int units) const { return ::GetWindowTextW(m_hWnd, buffer, units); }
  BOOL SetDlgItemTextW(int id, const wchar_t* text) { return ::SetDlgItemTextW(m_hWnd, id, text); }

  BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
  BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
  }
  BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }

  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
  // Removes then adds style bits; true when the style changed.
  BOOL ModifyStyle(DWORD remove, DWORD add) { return ModifyLong(GWL_STYLE, remove, add); }
  BOOL ModifyStyleEx(DWORD remove, DWORD add) { return ModifyLong(GWL_EXSTYLE, remove, add); }

  HICON SetIcon(HICON icon, BOOL big = TRUE) {
    return reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                                  reinterpret_cast<LPARAM>(icon)));
  }

 private:
  BOOL ModifyLong(int index, DWORD remove, DWORD add) {
    const DWORD old = static_cast<DWORD>(::GetWindowLongW(m_hWnd, index));
    const DWORD wanted = (old & ~remove) | add;
    if (wanted == old) return FALSE;
    ::SetWindowLongW(m_hWnd, index, static_cast<LONG>(wanted));
    return TRUE;
  }
};

// Creation styles of a window class; they matter only when the class creates its window itself.
template <DWORD t_dwStyle = 0, DWORD t_dwExStyle = 0>
class CWinTraits {
 public:
  static DWORD GetWndStyle(DWORD style) { return style == 0 ? t_dwStyle : style; }
  static DWORD GetWndExStyle(DWORD exStyle) { return exStyle == 0 ? t_dwExStyle : exStyle; }
};
using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0>;

// A push-button handle.
template <class TBase>
class CButtonT : public TBase {
 public:
  CButtonT(HWND hWnd = nullptr) : TBase(hWnd) {}
  static const wchar_t* GetWndClassName() { return L"BUTTON"; }
  UINT GetButtonStyle() const { return static_cast<UINT>(this->GetStyle()) & 0xFFFF; }
  UINT GetState() const { return static_cast<UINT>(this->SendMessageW(BM_GETSTATE)); }
  void Click() { this->SendMessageW(BM_CLICK); }
};
using CButton = CButtonT<CWindow>;

// Every window object answers its messages here: true when handled (result set), false to let
// the next stage (mix-ins, reflection, default processing) have the message.
class CMessageMap {
 public:
  virtual BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result, DWORD mapId = 0) = 0;

 protected:
  ~CMessageMap() = default;
};
