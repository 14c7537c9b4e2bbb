#include "shell/about_text.h"

U16 AboutText(U16View name, U16View version) {
  U16 text(name);
  text += u" v";
  text += version;
  text += u"\r\n\r\nCopyright (C) 2026 Dorvane";
  return text;
}

AboutPoint CentreBox(int width, int height, const AboutRect& over, const AboutRect& workArea) {
  AboutPoint p{(over.left + over.right) / 2 - width / 2, (over.top + over.bottom) / 2 - height / 2};
  // Right and bottom first, so that a box larger than the work area keeps its top-left inside.
  if (p.x + width > workArea.right) p.x = workArea.right - width;
  if (p.x < workArea.left) p.x = workArea.left;
  if (p.y + height > workArea.bottom) p.y = workArea.bottom - height;
  if (p.y < workArea.top) p.y = workArea.top;
  return p;
}
