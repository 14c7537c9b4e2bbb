#include "shell/dpi_win.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

// Looked up once: user32 is loaded for the whole life of the process.
template <typename Fn>
Fn User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return kStandardDpi;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kStandardDpi;
}

}  // namespace

int WindowDpi(HWND window) {
  static const GetDpiForWindowFn getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return ScreenDpi();
}

int SystemDpi() {
  static const GetDpiForSystemFn getDpiForSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
  if (getDpiForSystem != nullptr) {
    const UINT dpi = getDpiForSystem();
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return ScreenDpi();
}

int SystemMetricAtDpi(int index, int dpi) {
  static const GetSystemMetricsForDpiFn forDpi =
      User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (forDpi != nullptr && dpi > 0) return forDpi(index, static_cast<UINT>(dpi));
  return ::GetSystemMetrics(index);
}

void TakeSuggestedRect(HWND window, LPARAM suggested) {
  const RECT* rect = reinterpret_cast<const RECT*>(suggested);
  if (rect == nullptr) return;
  ::SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
