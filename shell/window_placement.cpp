#include "shell/window_placement.h"

#include <cstdint>

namespace {
// One axis: centred (halves truncate towards zero), then the near edge first, else the far edge.
int Place(int areaStart, int areaEnd, int size) {
  int64_t start = (static_cast<int64_t>(areaStart) + areaEnd) / 2 - size / 2;
  if (start < areaStart)
    start = areaStart;
  else if (start + size > areaEnd)
    start = static_cast<int64_t>(areaEnd) - size;
  return static_cast<int>(start);
}
}  // namespace

ScreenPoint CentreOnWorkArea(int windowWidth, int windowHeight, const ScreenRect& workArea) {
  return {Place(workArea.left, workArea.right, windowWidth), Place(workArea.top, workArea.bottom, windowHeight)};
}
