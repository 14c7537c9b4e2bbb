#include "framework/reflect_win.h"

namespace {
HWND AsWindow(LPARAM lParam) { return reinterpret_cast<HWND>(lParam); }
}  // namespace

HWND ReflectionTarget(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:  // from a control when lParam holds its handle; menus and accelerators not
      return AsWindow(lParam);
    case WM_NOTIFY:
      return lParam != 0 ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_PARENTNOTIFY:
      switch (LOWORD(wParam)) {
        case WM_CREATE:
        case WM_DESTROY:
          return AsWindow(lParam);
        default: {
          // Mouse events carry the point, in the parent's client coordinates: the child under it.
          POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
          HWND child = ::ChildWindowFromPointEx(parent, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
          return child != parent ? child : nullptr;
        }
      }
    case WM_DRAWITEM:
      return wParam != 0 && lParam != 0 ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_COMPAREITEM:
      return wParam != 0 && lParam != 0 ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_DELETEITEM:
      return wParam != 0 && lParam != 0 ? reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_MEASUREITEM:
      // The one notification without a handle: only the control id names the child.
      return wParam != 0 && lParam != 0
                 ? ::GetDlgItem(parent, static_cast<int>(reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID))
                 : nullptr;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return AsWindow(lParam);
    default:
      return nullptr;
  }
}

bool ReflectNotifications(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND child = ReflectionTarget(parent, message, wParam, lParam);
  // Only our own children: a handle in lParam that is not one of them is not reflected.
  if (child == nullptr || child == parent || !::IsChild(parent, child)) return false;
  result = ::SendMessageW(child, OCM__BASE + message, wParam, lParam);
  return true;
}

bool DefaultReflectionHandler(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message < OCM__BASE) return false;
  switch (message - OCM__BASE) {
    case WM_COMMAND: case WM_NOTIFY: case WM_PARENTNOTIFY: case WM_DRAWITEM: case WM_MEASUREITEM:
    case WM_COMPAREITEM: case WM_DELETEITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM:
    case WM_HSCROLL: case WM_VSCROLL: case WM_CTLCOLORBTN: case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
      result = ::DefWindowProcW(child, message - OCM__BASE, wParam, lParam);
      return true;
    default:
      return false;
  }
}
