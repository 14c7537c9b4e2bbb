// The tray mix-ins on the real platform, driven through a small host window that stands in for
// the main window: the icon record, the tooltip as the shell shows it, the mouse callback, the
// menu and its commands, minimising to the tray and the taskbar's re-creation.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "res/resource.h"
#include "shell/shell_icon_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using namespace std::chrono_literals;
using sitemon_test::PumpFor;
using sitemon_test::PumpUntil;
using sitemon_test::TrayIcons;

namespace {

// The main window's part in the tray: its own handlers come first (none here), then the mix-in.
class TrayHost : public CWindow, public CShellIcon<TrayHost, CAppIconMenu<TrayHost, IDR_TRAYMENU>, IDR_TRAYMENU> {
 public:
  TrayHost() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TrayTestHost";
    ::RegisterClassW(&wc);
    m_hWnd = ::CreateWindowExW(0, wc.lpszClassName, L"tray host", WS_OVERLAPPEDWINDOW, 100, 100, 320, 240,
                               nullptr, nullptr, wc.hInstance, this);
  }
  ~TrayHost() {
    if (::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  }

  int commandsSeen = 0;
  void OnTrayAlerts() {}
  void OnTrayReport() {}

 private:
  static LRESULT CALLBACK Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
      ::SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<TrayHost*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (self != nullptr && self->m_hWnd == hWnd) {
      if (message == WM_COMMAND) ++self->commandsSeen;
      if (self->ProcessTrayMessage(hWnd, message, wParam, lParam, result)) return result;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
  }
};

// Whether the shell shows `text` as the tooltip of one of the tray's icons.
bool HasTooltip(const std::wstring& text) {
  for (const auto& t : sitemon_test::TooltipTextsOf(TrayIcons()))
    if (t == text) return true;
  return false;
}

// The number of icons in Wine's stand-alone tray; -1 when there is no such tray.
int StandaloneTrayIconCount() {
  return sitemon_test::HasStandaloneTray() ? static_cast<int>(TrayIcons().size()) : -1;
}

TEST(TrayIcon, AddFillsTheRecordAndShowsTheTitleAsTooltip) {
  const int iconsBefore = StandaloneTrayIconCount();
  {
    TrayHost host;
    ASSERT_NE(host.m_hWnd, nullptr);
    EXPECT_EQ(host.Title(), L"Corvell网站监控");
    host.AddTrayIcon();
    const NOTIFYICONDATAW& nid = host.IconRecord();
    EXPECT_EQ(nid.cbSize, NOTIFYICONDATAW_V3_SIZE);
    EXPECT_EQ(nid.hWnd, host.m_hWnd);
    EXPECT_EQ(nid.uID, 128u);
    EXPECT_EQ(nid.uFlags, 0x17u);
    EXPECT_EQ(nid.uCallbackMessage, 0x4B4u);
    EXPECT_EQ(nid.dwInfoFlags, 4u);
    ASSERT_NE(nid.hIcon, nullptr);
    // Drawn at the notification area's small-icon size for the display's scale.
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(nid.hIcon, &info));
    BITMAP colour{};
    ::GetObjectW(info.hbmColor, sizeof colour, &colour);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    EXPECT_EQ(colour.bmWidth, SystemMetricAtDpi(SM_CXSMICON, SystemDpi()));
    EXPECT_STREQ(nid.szTip, L"Corvell网站监控");
    EXPECT_STREQ(nid.szInfoTitle, L"Corvell网站监控");
    EXPECT_STREQ(nid.szInfo, L"");

    EXPECT_TRUE(PumpUntil([] { return HasTooltip(L"Corvell网站监控"); }, 3000ms));
    if (iconsBefore >= 0) {
      EXPECT_EQ(StandaloneTrayIconCount(), iconsBefore + 1);
    }

    host.SetTrayTip(u"Dorvane网站监控\n状态：网页不存在");
    EXPECT_EQ(host.IconRecord().uFlags, 7u);
    EXPECT_TRUE(PumpUntil([] { return HasTooltip(L"Dorvane网站监控\n状态：网页不存在"); }, 3000ms));
    EXPECT_FALSE(HasTooltip(L"Corvell网站监控"));
  }
  // The host's destruction removed the icon.
  if (iconsBefore >= 0) {
    EXPECT_TRUE(PumpUntil([&] { return StandaloneTrayIconCount() == iconsBefore; }, 3000ms));
  }
  EXPECT_FALSE(HasTooltip(L"Dorvane网站监控\n状态：网页不存在"));
}

TEST(TrayIcon, LongTipIsCutTo127Characters) {
  TrayHost host;
  host.AddTrayIcon();
  host.SetTrayTip(U16(200, u'状'));
  EXPECT_EQ(std::wstring(host.IconRecord().szTip), std::wstring(127, L'状'));
  EXPECT_TRUE(PumpUntil([] { return HasTooltip(std::wstring(127, L'状')); }, 3000ms));
}

// A tip the shell refused is not recorded: the main window skips a tip equal to the recorded
// one, so a recorded failure would leave the tooltip stale for as long as the text stays.
TEST(TrayIcon, ARefusedTipIsNotRecorded) {
  TrayHost host;
  host.AddTrayIcon();
  host.RemoveTrayIcon();  // the shell now refuses every change to the icon
  host.SetTrayTip(u"状态：网页不存在");
  EXPECT_STREQ(host.IconRecord().szTip, L"Corvell网站监控");
}

TEST(TrayIcon, RemoveTakesTheIconAwayAtOnce) {
  const int iconsBefore = StandaloneTrayIconCount();
  TrayHost host;
  host.AddTrayIcon();
  ASSERT_TRUE(PumpUntil([] { return HasTooltip(L"Corvell网站监控"); }, 3000ms));
  host.RemoveTrayIcon();
  EXPECT_TRUE(PumpUntil([] { return !HasTooltip(L"Corvell网站监控"); }, 3000ms));
  if (iconsBefore >= 0) {
    EXPECT_EQ(StandaloneTrayIconCount(), iconsBefore);
  }
}

TEST(TrayIcon, TaskbarCreatedAddsTheIconAgainWithTheTitle) {
  TrayHost host;
  host.AddTrayIcon();
  host.SetTrayTip(u"状态：正常");
  ASSERT_TRUE(PumpUntil([] { return HasTooltip(L"状态：正常"); }, 3000ms));
  ASSERT_NE(host.TaskbarCreatedMessage(), 0u);
  EXPECT_EQ(::SendMessageW(host.m_hWnd, host.TaskbarCreatedMessage(), 0, 0), 0);
  EXPECT_TRUE(PumpUntil([] { return HasTooltip(L"Corvell网站监控"); }, 3000ms));
  EXPECT_FALSE(HasTooltip(L"状态：正常"));
  EXPECT_EQ(host.IconRecord().uFlags, 0x17u);
}

TEST(TrayWindow, MinimisingHidesAndALeftClickOnOurIconRestores) {
  TrayHost host;
  host.AddTrayIcon();
  ::ShowWindow(host.m_hWnd, SW_SHOWNORMAL);
  RECT normal{};
  ::GetWindowRect(host.m_hWnd, &normal);
  ::ShowWindow(host.m_hWnd, SW_MINIMIZE);
  EXPECT_FALSE(::IsWindowVisible(host.m_hWnd));

  // Another icon's callback and mere moves or presses do nothing.
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 127, WM_LBUTTONUP);
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_MOUSEMOVE);
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_LBUTTONDOWN);
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_LBUTTONDBLCLK);
  EXPECT_FALSE(::IsWindowVisible(host.m_hWnd));

  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_LBUTTONUP);
  EXPECT_TRUE(::IsWindowVisible(host.m_hWnd));
  EXPECT_FALSE(::IsIconic(host.m_hWnd));
  RECT restored{};
  ::GetWindowRect(host.m_hWnd, &restored);
  EXPECT_EQ(restored.right - restored.left, normal.right - normal.left);
  EXPECT_EQ(restored.bottom - restored.top, normal.bottom - normal.top);
  // A second release (the end of a double click) restores again, harmlessly.
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_LBUTTONUP);
  EXPECT_TRUE(::IsWindowVisible(host.m_hWnd));
}

TEST(TrayWindow, AClickOnTheShellsIconWindowReachesTheCallback) {
  const std::vector<HWND> before = TrayIcons();
  if (!sitemon_test::HasStandaloneTray())
    GTEST_SKIP() << "no standalone tray window on this desktop";
  TrayHost host;
  host.AddTrayIcon();
  HWND ours = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (HWND icon : TrayIcons())
          if (std::find(before.begin(), before.end(), icon) == before.end()) ours = icon;
        return ours != nullptr;
      },
      3000ms));
  ::ShowWindow(host.m_hWnd, SW_MINIMIZE);
  ASSERT_FALSE(::IsWindowVisible(host.m_hWnd));
  ::SendMessageW(ours, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(ours, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(host.m_hWnd) && !::IsIconic(host.m_hWnd); }, 3000ms));
}

// Closes the tray menu from a second thread once it is open: Down + Enter picks the first item,
// Escape closes it. Returns whether the menu was seen.
bool OperateMenuFromOutside(std::initializer_list<WPARAM> keys, RECT* menuRect) {
  HWND menu = nullptr;
  const auto open = [&] { return (menu = ::FindWindowW(L"#32768", nullptr)) != nullptr && ::IsWindowVisible(menu); };
  if (!sitemon_test::PollUntil(open, 3000ms, 10ms)) return false;
  if (menuRect != nullptr) ::GetWindowRect(menu, menuRect);
  for (WPARAM key : keys) {
    ::PostMessageW(menu, WM_KEYDOWN, key, 0);
    ::PostMessageW(menu, WM_KEYUP, key, 0xC0000000);
  }
  return true;
}

TEST(TrayMenu, RightClickOpensTheMenuAndItsFirstItemShowsTheWindow) {
  TrayHost host;
  host.AddTrayIcon();
  ::ShowWindow(host.m_hWnd, SW_MINIMIZE);
  ASSERT_FALSE(::IsWindowVisible(host.m_hWnd));
  ::SetCursorPos(600, 400);
  std::atomic<bool> seen{false};
  RECT menuRect{};
  std::thread outside([&] { seen = OperateMenuFromOutside({VK_DOWN, VK_RETURN}, &menuRect); });
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_RBUTTONUP);  // returns when the menu closed
  outside.join();
  ASSERT_TRUE(seen);
  EXPECT_STREQ(host.IconRecord().szInfo, L"");  // the balloon text was put back as it was
  // The chosen item arrives as a command: the window is shown and restored.
  EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(host.m_hWnd) && !::IsIconic(host.m_hWnd); }, 3000ms));
  EXPECT_GE(host.commandsSeen, 1);
}

TEST(TrayMenu, EscapeClosesTheMenuWithoutACommand) {
  TrayHost host;
  host.AddTrayIcon();
  std::atomic<bool> seen{false};
  std::thread outside([&] { seen = OperateMenuFromOutside({VK_ESCAPE, VK_ESCAPE}, nullptr); });
  ::SendMessageW(host.m_hWnd, WM_TRAY_NOTIFY, 128, WM_RBUTTONUP);
  outside.join();
  ASSERT_TRUE(seen);
  PumpFor(200ms);
  EXPECT_EQ(host.commandsSeen, 0);
  EXPECT_EQ(::FindWindowW(L"#32768", nullptr) != nullptr && ::IsWindowVisible(::FindWindowW(L"#32768", nullptr)),
            false);
}

TEST(TrayMenu, ShowWindowCommandRestoresAMinimisedWindow) {
  TrayHost host;
  ::ShowWindow(host.m_hWnd, SW_MINIMIZE);
  ASSERT_FALSE(::IsWindowVisible(host.m_hWnd));
  EXPECT_EQ(::SendMessageW(host.m_hWnd, WM_COMMAND, ID_TRAY_SHOW, 0), 0);
  EXPECT_TRUE(::IsWindowVisible(host.m_hWnd));
  EXPECT_FALSE(::IsIconic(host.m_hWnd));
}

TEST(TrayMenu, ExitCommandDestroysTheWindowAndQuitsWithZero) {
  TrayHost host;
  HWND w = host.m_hWnd;
  ::SendMessageW(w, WM_COMMAND, ID_TRAY_EXIT, 0);
  EXPECT_FALSE(::IsWindow(w));
  int quitCode = -1;
  EXPECT_TRUE(PumpUntil([&] { return quitCode != -1; }, 2000ms, &quitCode));
  EXPECT_EQ(quitCode, 0);
}

TEST(TrayMenu, UnknownCommandsAreLeftToTheWindow) {
  TrayHost host;
  LRESULT result = 99;
  EXPECT_FALSE(host.ProcessTrayMessage(host.m_hWnd, WM_COMMAND, IDC_START, 0, result));
  EXPECT_FALSE(host.ProcessTrayMessage(host.m_hWnd, WM_COMMAND, 2, 0, result));
  EXPECT_FALSE(host.ProcessTrayMessage(host.m_hWnd, WM_ERASEBKGND, 0, 0, result));
  EXPECT_EQ(result, 99);
  EXPECT_TRUE(::IsWindow(host.m_hWnd));
}

TEST(TrayMenu, TheMenuResourceHasItsCommandsInOrder) {
  TrayHost host;
  HMENU tray = ::GetSubMenu(host.Menu(), 0);
  ASSERT_NE(tray, nullptr);
  ASSERT_EQ(::GetMenuItemCount(tray), 8);
  const UINT ids[] = {ID_TRAY_SHOW, 0, ID_TRAY_VISIT, ID_TRAY_ABOUT, ID_TRAY_ALERTS, ID_TRAY_REPORT, 0, ID_TRAY_EXIT};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(::GetMenuItemID(tray, i), ids[i]) << i;
}

TEST(TrayClampOnThisDesktop, PointsOffTheScreenMoveIntoTheWorkArea) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
  const RECT work = info.rcWork;
  EXPECT_EQ(ClampToWorkArea(10, 10), 10);
  EXPECT_EQ(ClampToWorkArea(-5000, 100), work.left);
  EXPECT_EQ(ClampToWorkArea(50000, 100), work.right);
  EXPECT_EQ(ClampToWorkArea(300, -4000), 300);
}

}  // namespace
