#include "shell/tray_logic.h"

TrayClick TrayCallbackAction(uint64_t iconId, int64_t mouseMessage) {
  if (iconId != kTrayIconId) return TrayClick::Ignore;
  if (mouseMessage == 0x0202) return TrayClick::RestoreWindow;  // WM_LBUTTONUP
  if (mouseMessage == 0x0205) return TrayClick::ShowMenu;       // WM_RBUTTONUP
  return TrayClick::Ignore;
}

TrayCommand TrayMenuCommand(uint64_t commandWParam) {
  switch (commandWParam & 0xFFFF) {
    case kMenuShowWindow: return TrayCommand::ShowWindow;
    case kMenuExit: return TrayCommand::Exit;
    case kMenuAbout: return TrayCommand::About;
    case kMenuWebPage: return TrayCommand::WebPage;
    case kMenuAlerts: return TrayCommand::Alerts;
    case kMenuReport: return TrayCommand::Report;
    default: return TrayCommand::NotOurs;
  }
}

int ClampToWorkArea(int x, int y, const IMonitorLookup& monitors) {
  if (monitors.PointOnMonitor(x, y)) return x;
  const void* nearest = monitors.NearestMonitor(x, y);
  if (nearest == nullptr) return x;
  Rect work;
  if (!monitors.WorkAreaOf(nearest, work)) return x;
  // The point pulled in as a box of no size; only its x is used.
  return PullInside({x, y}, 0, 0, work).x;
}
