#include "shell/about_text.h"

U16 AboutText(U16View name, U16View version) {
  U16 text(name);
  text += u" v";
  text += version;
  text += u"\r\n\r\nCopyright (C) 2026 Dorvane";
  return text;
}

Point CentreBox(int width, int height, const Rect& over, const Rect& workArea) {
  Point p = CentreInside(over, width, height, workArea);
  // A box larger than the work area keeps its top-left corner inside, wherever its owner is.
  if (p.x < workArea.left) p.x = workArea.left;
  if (p.y < workArea.top) p.y = workArea.top;
  return p;
}
