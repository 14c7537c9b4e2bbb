#include "shell/window_placement.h"

Point CentreOnWorkArea(int windowWidth, int windowHeight, const Rect& workArea) {
  return CentreInside(workArea, windowWidth, windowHeight, workArea);
}
