#pragma once
// Screen rectangles and points in pixels, and the arithmetic that puts one box inside another.
// Halves truncate towards zero; sums are taken in 64 bits, so no coordinate overflows on the way.

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// Right and bottom are one past the last pixel, as in Win32.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// The top-left corner moved so that a box of the given size lies in `area`, each axis on its own:
// a near edge (left, top) outside the area moves to the area's near edge; otherwise a far edge
// beyond the area moves the box back to end at the area's far edge. So a box larger than the
// area starting inside it ends at the far edge, its near edge outside. A point is a box of size 0.
Point PullInside(Point topLeft, int width, int height, const Rect& area);

// A box of the given size centred over `over` (its midpoint less half the size, on each axis),
// then pulled inside `area` as PullInside does.
Point CentreInside(const Rect& over, int width, int height, const Rect& area);
