#pragma once
// The about box's text and where the box goes; plain logic for the Win32 dialog.
#include "base/utf16.h"

// "<name> v<version>", an empty line, then our copyright line.
U16 AboutText(U16View name, U16View version);

struct AboutRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
struct AboutPoint {
  int x = 0;
  int y = 0;
  bool operator==(const AboutPoint&) const = default;
};

// Top-left of a box of the given size centred over `over`, then moved back inside the work area
// (left and top edges win when the box is larger than the work area).
AboutPoint CentreBox(int width, int height, const AboutRect& over, const AboutRect& workArea);
