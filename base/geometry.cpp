#include "base/geometry.h"

#include <cstdint>

namespace {

int64_t CentredStart(int start, int end, int size) { return (static_cast<int64_t>(start) + end) / 2 - size / 2; }

int PulledInside(int64_t start, int size, int areaStart, int areaEnd) {
  if (start < areaStart) return areaStart;
  if (start + size > areaEnd) return static_cast<int>(static_cast<int64_t>(areaEnd) - size);
  return static_cast<int>(start);
}

}  // namespace

Point PullInside(Point topLeft, int width, int height, const Rect& area) {
  return {PulledInside(topLeft.x, width, area.left, area.right),
          PulledInside(topLeft.y, height, area.top, area.bottom)};
}

Point CentreInside(const Rect& over, int width, int height, const Rect& area) {
  return {PulledInside(CentredStart(over.left, over.right, width), width, area.left, area.right),
          PulledInside(CentredStart(over.top, over.bottom, height), height, area.top, area.bottom)};
}
