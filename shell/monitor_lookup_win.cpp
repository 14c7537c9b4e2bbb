#include "shell/monitor_lookup_win.h"

#include <windows.h>

#include "base/geometry_win.h"

bool Win32MonitorLookup::PointOnMonitor(int x, int y) const {
  return ::MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONULL) != nullptr;
}

const void* Win32MonitorLookup::NearestMonitor(int x, int y) const {
  return ::MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST);
}

bool Win32MonitorLookup::WorkAreaOf(const void* monitor, Rect& workArea) const {
  MONITORINFO info{};
  info.cbSize = sizeof(info);  // 40
  if (!::GetMonitorInfoW(static_cast<HMONITOR>(const_cast<void*>(monitor)), &info)) return false;
  workArea = FromWinRect(info.rcWork);
  return true;
}

int ClampToWorkArea(int x, int y) { return ClampToWorkArea(x, y, Win32MonitorLookup{}); }
