#include "win_test_support.h"

#include <shellapi.h>

#include <algorithm>
#include <vector>

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    PumpPending();
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)),
                                QS_ALLINPUT);
  }
}

void PumpPending() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {  // keep it for the test that looks for it
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  dc_ = ::CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bits_ = static_cast<uint32_t*>(bits);
  old_ = ::SelectObject(dc_, bitmap_);
}

Canvas::~Canvas() {
  ::SelectObject(dc_, old_);
  ::DeleteObject(bitmap_);
  ::DeleteDC(dc_);
}

void Canvas::Fill(COLORREF colour) {
  HBRUSH brush = ::CreateSolidBrush(colour);
  RECT all{0, 0, width_, height_};
  ::FillRect(dc_, &all, brush);
  ::DeleteObject(brush);
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

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, base);
  static int serial = 0;
  path_ = std::wstring(base) + L"sitemon-shell-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++serial) + L"-" + std::to_wstring(::GetTickCount64());
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  std::wstring from = path_ + L'\0';  // double-terminated list of one
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  ::SHFileOperationW(&op);
}

long GdiObjectsProbe() {
  const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return static_cast<long>(counted);
  constexpr int kProbe = 3000;
  std::vector<HBRUSH> brushes;
  brushes.reserve(kProbe);
  long reach = 0;
  for (int i = 0; i < kProbe; ++i) {
    HBRUSH b = ::CreateSolidBrush(static_cast<COLORREF>(i));
    if (b == nullptr) break;
    reach = std::max(reach, static_cast<long>(reinterpret_cast<uintptr_t>(b) & 0xFFFF));
    brushes.push_back(b);
  }
  for (HBRUSH b : brushes) ::DeleteObject(b);
  return reach;
}

long KernelHandlesProbe() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return static_cast<long>(count);
  HANDLE probe = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const long value = static_cast<long>(reinterpret_cast<uintptr_t>(probe));
  ::CloseHandle(probe);
  return value;
}

std::wstring ReadFileBytesAsString(const std::wstring& path) {
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return L"<missing>";
  std::wstring out;
  unsigned char buffer[512];
  DWORD got = 0;
  while (::ReadFile(f, buffer, sizeof(buffer), &got, nullptr) && got > 0)
    for (DWORD i = 0; i < got; ++i) out.push_back(static_cast<wchar_t>(buffer[i]));
  ::CloseHandle(f);
  return out;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(f);
  return ok && written == bytes.size();
}
