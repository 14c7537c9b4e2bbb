// Commands on the about box: its text, place and visibility, and the Escape key.
#include <windows.h>

#include "res/resource.h"
#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::PollUntil;
using sitemon_test::WindowTextOf;
using sitemon_test::WorkArea;

namespace {

bool AboutState(HWND main, JsonLine& out) {
  HWND about = FindAboutBox(main);
  out.Bool("found", about != nullptr).Bool("main_enabled", ::IsWindowEnabled(main) != FALSE);
  if (!about) return true;
  std::wstring text;
  HWND textControl = ::GetDlgItem(about, IDC_ABOUT_TEXT);
  if (!WindowTextOf(textControl, text)) return Fail(out, L"about text not readable");
  RECT rect{}, textRect{};
  ::GetWindowRect(about, &rect);
  ::GetWindowRect(textControl, &textRect);
  out.Bool("visible", ::IsWindowVisible(about) != FALSE)
      .Int("hwnd", reinterpret_cast<long long>(about))
      .Text("text", text)
      .Raw("rect", RectJson(rect))
      .Raw("text_rect", RectJson(textRect))  // on the screen, for real clicks
      .Raw("work", RectJson(WorkArea()));
  return true;
}

bool CmdAbout(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  return AboutState(main, out);
}

// Waits until the about box is open and visible (1) or gone (0).
bool CmdWaitAbout(const Args& args, JsonLine& out) {
  long long open = 0, timeout = 0;
  if (args.size() < 2 || !ParseNumber(args[0], open) || !ParseNumber(args[1], timeout)) {
    return Fail(out, L"expected: open(0/1) timeout-ms");
  }
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  const bool reached = PollUntil([&] {
    HWND about = FindAboutBox(main);
    return open ? about && ::IsWindowVisible(about) : about == nullptr;
  }, std::chrono::milliseconds(timeout));
  if (!AboutState(main, out)) return false;
  return reached ? true : Fail(out, L"the about box did not reach that state in time");
}

// The Escape key as the keyboard delivers it to the box's modal loop, once the box is ready for it
// (PressKey); the box closes on the key-down.
bool CmdAboutEscape(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  HWND about = FindAboutBox(main);
  if (!about) return Fail(out, L"no about box");
  return PressKey(about, VK_ESCAPE, out);
}

}  // namespace

void AddAboutCommands(CommandTable& table) {
  table[L"about"] = CmdAbout;
  table[L"wait-about"] = CmdWaitAbout;
  table[L"about-escape"] = CmdAboutEscape;
}
