#pragma once
// Where the main window goes at start-up: centred on the primary display's work area, then
// pushed back inside it (the left and top edges win when the window is larger than the area).
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

// The new top-left corner of a window of the given size.
ScreenPoint CentreOnWorkArea(int windowWidth, int windowHeight, const ScreenRect& workArea);
