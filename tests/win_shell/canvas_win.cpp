#include "tests/win_shell/canvas_win.h"

#include <algorithm>

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  dc_.reset(::CreateCompatibleDC(nullptr));
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  bits_ = static_cast<uint32_t*>(bits);
  old_ = ::SelectObject(dc_.get(), bitmap_.get());
}

Canvas::~Canvas() { ::SelectObject(dc_.get(), old_); }

void Canvas::Fill(COLORREF colour) {
  UniqueGdiObject brush(::CreateSolidBrush(colour));
  RECT all{0, 0, width_, height_};
  ::FillRect(dc_.get(), &all, static_cast<HBRUSH>(brush.get()));
}

COLORREF Canvas::At(int x, int y) const {
  ::GdiFlush();
  const uint32_t p = bits_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Canvas::Count(COLORREF colour, const RECT& area) const {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) n += At(x, y) == colour ? 1 : 0;
  return n;
}

RECT Canvas::BoundsOfOther(COLORREF background, const RECT& area) const {
  RECT box{area.right, area.bottom, area.left, area.top};
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (At(x, y) == background) continue;
      box.left = std::min<LONG>(box.left, x);
      box.top = std::min<LONG>(box.top, y);
      box.right = std::max<LONG>(box.right, x + 1);
      box.bottom = std::max<LONG>(box.bottom, y + 1);
    }
  }
  if (box.left >= box.right) return RECT{};
  return box;
}
