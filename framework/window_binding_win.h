#pragma once
// How a window finds its C++ object: one window property per bound window, set when the object
// subclasses or creates the window and removed on WM_NCDESTROY. Shared by windows and dialogs.
#include <windows.h>

namespace framework_detail {

bool BindWindowObject(HWND hWnd, void* object);
void* BoundWindowObject(HWND hWnd);
void UnbindWindowObject(HWND hWnd);

// Message nesting of one object: the final-message hook runs only once the outermost message
// of a destroyed window has returned, so a handler that destroys its own window (and whose
// object may delete itself in the hook) never returns into a freed object.
struct MessageNesting {
  int depth = 0;
  bool destroyed = false;

  // Leaves one level of message handling; true when the outermost handler of a destroyed window
  // returns, the one moment the final-message hook may run (it may delete the object).
  bool LeaveAndTakeFinal() {
    if (--depth != 0 || !destroyed) return false;
    destroyed = false;
    return true;
  }
};

}  // namespace framework_detail
