#pragma once
// A 32-bit memory bitmap for the shell's Windows tests: windows paint into it and the test reads
// the pixels back.
#include <windows.h>

#include <cstdint>

#include "base/unique_handle_win.h"

class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  void Fill(COLORREF colour);
  // The pixel as a COLORREF (0x00BBGGRR).
  COLORREF At(int x, int y) const;
  int Count(COLORREF colour, const RECT& area) const;
  // Bounding box of pixels different from `background` inside `area`; empty when none.
  RECT BoundsOfOther(COLORREF background, const RECT& area) const;

 private:
  int width_;
  int height_;
  UniqueMemoryDc dc_;
  UniqueGdiObject bitmap_;  // selected into dc_ until the destructor puts old_ back
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};
