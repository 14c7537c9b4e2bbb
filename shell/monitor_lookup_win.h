#pragma once
// The tray menu's x clamp over the real monitors (MonitorFromPoint, GetMonitorInfoW).
#include "shell/tray_logic.h"

class Win32MonitorLookup : public IMonitorLookup {
 public:
  bool PointOnMonitor(int x, int y) const override;
  const void* NearestMonitor(int x, int y) const override;
  bool WorkAreaOf(const void* monitor, Rect& workArea) const override;
};

// ClampToWorkArea over the monitors of this desktop.
int ClampToWorkArea(int x, int y);
