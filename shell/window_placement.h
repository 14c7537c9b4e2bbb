#pragma once
// Where the main window goes at start-up: centred on the primary display's work area, then
// pulled back inside it (a left or top edge outside the area moves first, else the right or
// bottom edge).
#include "base/geometry.h"

// The new top-left corner of a window of the given size.
Point CentreOnWorkArea(int windowWidth, int windowHeight, const Rect& workArea);
