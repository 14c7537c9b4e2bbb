#include "framework/window_binding_win.h"

#include <cstdint>

namespace framework_detail {
namespace {
// The atom of our property name, created once (properties named by atom are fastest to find).
const wchar_t* PropertyName() {
  static const ATOM atom = ::GlobalAddAtomW(L"SiteMonitor.WindowObject");
  return atom != 0 ? reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(atom))
                   : L"SiteMonitor.WindowObject";
}
}  // namespace

bool BindWindowObject(HWND hWnd, void* object) {
  return ::SetPropW(hWnd, PropertyName(), object) != FALSE;
}

void* BoundWindowObject(HWND hWnd) { return ::GetPropW(hWnd, PropertyName()); }

void UnbindWindowObject(HWND hWnd) { ::RemovePropW(hWnd, PropertyName()); }

}  // namespace framework_detail
