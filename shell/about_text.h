#pragma once
// The about box's text and where the box goes; plain logic for the Win32 dialog.
#include "base/geometry.h"
#include "base/utf16.h"

// "<name> v<version>", an empty line, then our copyright line.
U16 AboutText(U16View name, U16View version);

// Top-left of a box of the given size centred over `over`, then moved back inside the work area
// (left and top edges win when the box is larger than the work area).
Point CentreBox(int width, int height, const Rect& over, const Rect& workArea);
