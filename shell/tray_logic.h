#pragma once
// The tray icon's plain decisions: which mouse callbacks and menu commands do something, the x
// at which the tray menu opens, and the tooltip field. The Win32 mix-ins act on these.
#include <cstddef>
#include <cstdint>

#include "base/geometry.h"
#include "base/utf16.h"
#include "res/resource.h"

constexpr unsigned kTrayIconId = 128;
constexpr unsigned kTrayNotifyMessage = 0x0400 + 180;  // WM_USER + 180
constexpr size_t kTrayTipUnits = 128;                  // szTip, terminator included

constexpr unsigned kMenuShowWindow = ID_TRAY_SHOW;
constexpr unsigned kMenuExit = ID_TRAY_EXIT;
constexpr unsigned kMenuAbout = ID_TRAY_ABOUT;
constexpr unsigned kMenuWebPage = ID_TRAY_VISIT;
constexpr unsigned kMenuAlerts = ID_TRAY_ALERTS;
constexpr unsigned kMenuReport = ID_TRAY_REPORT;

enum class TrayClick { Ignore, RestoreWindow, ShowMenu };
// The callback's wParam is the icon id, lParam the mouse message.
TrayClick TrayCallbackAction(uint64_t iconId, int64_t mouseMessage);

enum class TrayCommand { NotOurs, ShowWindow, Exit, About, WebPage, Alerts, Report };
// Only the low word of the command's wParam is the id.
TrayCommand TrayMenuCommand(uint64_t commandWParam);

// Where the monitors are: the platform answers, tests fake it.
class IMonitorLookup {
 public:
  virtual ~IMonitorLookup() = default;
  virtual bool PointOnMonitor(int x, int y) const = 0;
  // The monitor nearest to the point, or null when there is none.
  virtual const void* NearestMonitor(int x, int y) const = 0;
  // That monitor's work area; false when its information cannot be read.
  virtual bool WorkAreaOf(const void* monitor, Rect& workArea) const = 0;
};

// The x at which the menu opens: a point off every monitor is moved into the nearest monitor's
// work area horizontally; y is never changed.
int ClampToWorkArea(int x, int y, const IMonitorLookup& monitors);
