#pragma once
// Helpers of the shell's Windows tests: message pumping with a deadline, a 32-bit memory bitmap
// to paint into and read back, a temporary data folder, and resource-leak probes that work
// under Wine (whose GetGuiResources and GetProcessHandleCount answer 0).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Dispatches this thread's messages until `done` holds or `milliseconds` have passed; the
// result of the last check.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 5000);
// Dispatches what is queued now.
void PumpPending();

class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
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
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

// A fresh folder under the temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// GDI objects in use: GetGuiResources where it works; otherwise how far a fixed number of fresh
// objects reaches into Wine's handle table. That is a high-water mark of the objects in use: it
// rises by what leaked since the last probe and never falls, so compare "no higher than".
long GdiObjectsProbe();
// Kernel handles in use: GetProcessHandleCount where it works; otherwise the value of a fresh
// handle (Wine hands out the lowest free slot, which a leak moves up).
long KernelHandlesProbe();

std::wstring ReadFileBytesAsString(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
