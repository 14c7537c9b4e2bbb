#include "shell/tray_logic.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(TrayCallback, OnlyButtonReleasesOnOurIconDoSomething) {
  EXPECT_EQ(TrayCallbackAction(128, 0x202), TrayClick::RestoreWindow);
  EXPECT_EQ(TrayCallbackAction(128, 0x205), TrayClick::ShowMenu);
  // Another icon's callback, even with the same mouse messages.
  EXPECT_EQ(TrayCallbackAction(127, 0x202), TrayClick::Ignore);
  EXPECT_EQ(TrayCallbackAction(128 + 0x10000, 0x205), TrayClick::Ignore);
  // Moves, presses and double clicks.
  for (int64_t msg : {0x200, 0x201, 0x203, 0x204, 0x206, 0x207, 0x208, 0x400, 0x405})
    EXPECT_EQ(TrayCallbackAction(128, msg), TrayClick::Ignore) << std::hex << msg;
  // Version-4 style callbacks carry more in lParam's high word; they are not ours.
  EXPECT_EQ(TrayCallbackAction(128, (int64_t{128} << 16) | 0x202), TrayClick::Ignore);
}

TEST(TrayMenu, CommandIdsFromTheLowWord) {
  EXPECT_EQ(TrayMenuCommand(ID_TRAY_SHOW), TrayCommand::ShowWindow);
  EXPECT_EQ(TrayMenuCommand(ID_TRAY_EXIT), TrayCommand::Exit);
  EXPECT_EQ(TrayMenuCommand(ID_TRAY_ABOUT), TrayCommand::About);
  EXPECT_EQ(TrayMenuCommand(ID_TRAY_VISIT), TrayCommand::WebPage);
  EXPECT_EQ(TrayMenuCommand(ID_TRAY_ALERTS), TrayCommand::Alerts);
  EXPECT_EQ(TrayMenuCommand(ID_TRAY_REPORT), TrayCommand::Report);
  // The notification code in the high word does not matter (menus send 0, accelerators 1).
  EXPECT_EQ(TrayMenuCommand((uint64_t{1} << 16) | ID_TRAY_ABOUT), TrayCommand::About);
  for (uint64_t id : {0u, 1u, 2u, 1002u, 32778u, 32782u, 32774u})
    EXPECT_EQ(TrayMenuCommand(id), TrayCommand::NotOurs) << id;
}

// Monitors as rectangles; the work area is the monitor minus a taskbar strip at the bottom.
class FakeMonitors : public IMonitorLookup {
 public:
  struct Monitor {
    Rect bounds;
    Rect work;
    bool infoReadable = true;
  };
  std::vector<Monitor> monitors;
  mutable int nearestAsked = 0;

  bool PointOnMonitor(int x, int y) const override {
    for (const auto& m : monitors)
      if (x >= m.bounds.left && x < m.bounds.right && y >= m.bounds.top && y < m.bounds.bottom)
        return true;
    return false;
  }
  const void* NearestMonitor(int x, int y) const override {
    ++nearestAsked;
    const Monitor* best = nullptr;
    long long bestDistance = 0;
    for (const auto& m : monitors) {
      long long dx = x < m.bounds.left ? m.bounds.left - x : x >= m.bounds.right ? x - m.bounds.right + 1 : 0;
      long long dy = y < m.bounds.top ? m.bounds.top - y : y >= m.bounds.bottom ? y - m.bounds.bottom + 1 : 0;
      long long d = dx * dx + dy * dy;
      if (best == nullptr || d < bestDistance) best = &m, bestDistance = d;
    }
    return best;
  }
  bool WorkAreaOf(const void* monitor, Rect& work) const override {
    const auto* m = static_cast<const Monitor*>(monitor);
    if (!m->infoReadable) return false;
    work = m->work;
    return true;
  }
};

FakeMonitors TwoMonitors() {
  FakeMonitors f;
  f.monitors.push_back({{0, 0, 1920, 1080}, {0, 0, 1920, 1040}});
  f.monitors.push_back({{1920, 0, 3200, 1024}, {1960, 0, 3200, 1024}});  // taskbar on its left
  return f;
}

TEST(TrayClamp, PointOnAMonitorIsLeftAlone) {
  FakeMonitors f = TwoMonitors();
  EXPECT_EQ(ClampToWorkArea(1919, 1070, f), 1919);  // on the taskbar, not in the work area
  EXPECT_EQ(ClampToWorkArea(1925, 500, f), 1925);
  EXPECT_EQ(f.nearestAsked, 0);
}

TEST(TrayClamp, PointOffEveryMonitorMovesIntoTheNearestWorkArea) {
  FakeMonitors f = TwoMonitors();
  EXPECT_EQ(ClampToWorkArea(-50, 300, f), 0);       // left of the first monitor
  EXPECT_EQ(ClampToWorkArea(3500, 300, f), 3200);   // right of the second: its right edge
  EXPECT_EQ(ClampToWorkArea(1930, 1030, f), 1960);  // just below the second, left of its work area
  EXPECT_EQ(ClampToWorkArea(500, 1200, f), 500);    // below the first, x already inside
}

TEST(TrayClamp, NoMonitorOrUnreadableInformationKeepsX) {
  FakeMonitors none;
  EXPECT_EQ(ClampToWorkArea(-50, 300, none), -50);
  FakeMonitors broken = TwoMonitors();
  broken.monitors[0].infoReadable = false;
  EXPECT_EQ(ClampToWorkArea(-50, 300, broken), -50);
  EXPECT_EQ(ClampToWorkArea(3500, 300, broken), 3200);  // the other monitor still answers
}

}  // namespace
