#include "base/wide_text_win.h"

U16 WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  U16 text(static_cast<size_t>(length) + 1, u'\0');
  const int got = ::GetWindowTextW(window, AsWide(text.data()), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}
