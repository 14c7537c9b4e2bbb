// Commands on the popup (texts, place, visibility) and on Wine's stand-alone tray (icons,
// clicks, tooltip texts).
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>

#include "res/resource.h"
#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::PollUntil;
using sitemon_test::SendWithTimeout;
using sitemon_test::TooltipTextsOf;
using sitemon_test::TrayIcons;
using sitemon_test::WindowTextOf;
using sitemon_test::WorkArea;

namespace {

bool PopupState(HWND main, JsonLine& out) {
  HWND popup = FindPopup(main);
  out.Bool("found", popup != nullptr);
  if (!popup) return true;
  // The program sets the text, then the title, then slides the popup in, while this process
  // reads them one by one: read until two readings agree, so that a reading taken between the
  // program's steps never pairs a new text with the old title.
  std::wstring title, body;
  bool visible = false;
  for (int reading = 0; reading < 10; ++reading) {
    std::wstring nextTitle, nextBody;
    const bool nextVisible = ::IsWindowVisible(popup) != FALSE;
    if (!WindowTextOf(::GetDlgItem(popup, IDC_POPUP_TITLE), nextTitle) ||
        !WindowTextOf(::GetDlgItem(popup, IDC_POPUP_TEXT), nextBody)) {
      return Fail(out, L"popup texts not readable");
    }
    const bool same = reading > 0 && nextTitle == title && nextBody == body && nextVisible == visible;
    title = std::move(nextTitle);
    body = std::move(nextBody);
    visible = nextVisible;
    if (same) break;
    ::Sleep(reading == 0 ? 0 : 5);
  }
  RECT rect{}, ok{};
  ::GetWindowRect(popup, &rect);
  ::GetWindowRect(::GetDlgItem(popup, IDOK), &ok);
  const LONG_PTR exStyle = ::GetWindowLongPtrW(popup, GWL_EXSTYLE);
  out.Bool("visible", visible)
      .Int("hwnd", reinterpret_cast<long long>(popup))
      .Raw("ok_rect", RectJson(ok))  // the "确定" button on the screen, for real clicks
      .Text("title", title)
      .Text("text", body)
      .Raw("rect", RectJson(rect))
      .Raw("work", RectJson(WorkArea()))
      .Bool("topmost", (exStyle & WS_EX_TOPMOST) != 0)
      .Bool("toolwindow", (exStyle & WS_EX_TOOLWINDOW) != 0);
  return true;
}

bool CmdPopup(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  return PopupState(main, out);
}

bool CmdWaitPopup(const Args& args, JsonLine& out) {
  long long visible = 0, timeout = 0;
  if (args.size() < 2 || !ParseNumber(args[0], visible) || !ParseNumber(args[1], timeout)) {
    return Fail(out, L"expected: visible(0/1) timeout-ms");
  }
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  const bool reached = PollUntil([&] {
    HWND popup = FindPopup(main);
    return popup && (::IsWindowVisible(popup) != FALSE) == (visible != 0);
  }, std::chrono::milliseconds(timeout));
  if (!PopupState(main, out)) return false;
  return reached ? true : Fail(out, L"popup did not reach that state in time");
}

// What Alt+F4 makes of a key press on the popup: the system close command, which a dialog
// turns into its Cancel command.
bool CmdPopupClose(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  HWND popup = FindPopup(main);
  if (!popup) return Fail(out, L"no popup");
  if (!::PostMessageW(popup, WM_SYSCOMMAND, SC_CLOSE, 0)) return Fail(out, L"PostMessage failed");
  out.Int("hwnd", reinterpret_cast<long long>(popup));
  return true;
}

bool CmdTrayIcons(const Args&, JsonLine& out) {
  std::string list = "[";
  for (HWND icon : TrayIcons()) {
    RECT rect{};
    ::GetWindowRect(icon, &rect);
    JsonLine entry;
    entry.Int("hwnd", reinterpret_cast<long long>(icon))
        .Bool("visible", ::IsWindowVisible(icon) != FALSE)
        .Raw("rect", RectJson(rect));
    if (list.size() > 1) list += ',';
    list += entry.Finish();
  }
  out.Raw("icons", list + "]");
  return true;
}

// A left (default) or right click on the tray's icon: the button messages the icon window gets
// from the mouse, which Wine's tray turns into the program's tray callback.
bool CmdTrayClick(const Args& args, JsonLine& out) {
  const bool right = !args.empty() && args[0] == L"right";
  std::vector<HWND> icons = TrayIcons();
  if (icons.size() != 1) return Fail(out, L"expected exactly one tray icon");
  LRESULT ignored = 0;
  const UINT down = right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
  const UINT up = right ? WM_RBUTTONUP : WM_LBUTTONUP;
  const WPARAM keys = right ? MK_RBUTTON : MK_LBUTTON;
  if (!SendWithTimeout(icons[0], down, keys, MAKELPARAM(4, 4), ignored) ||
      !::PostMessageW(icons[0], up, 0, MAKELPARAM(4, 4))) {
    return Fail(out, L"the tray icon did not take the click");
  }
  out.Int("hwnd", reinterpret_cast<long long>(icons[0]));
  return true;
}

// The tooltip texts of tools that belong to the tray's icon windows, read from the tooltip
// windows of Wine's explorer through memory in that process.
bool CmdTrayTip(const Args&, JsonLine& out) {
  const std::vector<HWND> icons = TrayIcons();
  out.Int("icons", static_cast<long long>(icons.size())).TextList("tips", TooltipTextsOf(icons));
  return true;
}

}  // namespace

void AddPopupTrayCommands(CommandTable& table) {
  table[L"popup"] = CmdPopup;
  table[L"wait-popup"] = CmdWaitPopup;
  table[L"popup-close"] = CmdPopupClose;
  table[L"tray-icons"] = CmdTrayIcons;
  table[L"tray-click"] = CmdTrayClick;
  table[L"tray-tip"] = CmdTrayTip;
}
