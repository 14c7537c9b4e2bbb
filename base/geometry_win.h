#pragma once
// The boundary between Win32's RECT and the core's Rect.
#include <windows.h>

#include "base/geometry.h"

inline Rect FromWinRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
