// Commands on the main window and its controls: find, read and set texts and lists, click,
// close, Escape, commands by id.
#include <windows.h>

#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::ClassOf;
using sitemon_test::PollUntil;
using sitemon_test::SendWithTimeout;
using sitemon_test::WindowTextOf;
using sitemon_test::WorkArea;

namespace {

bool WindowState(HWND main, JsonLine& out) {
  RECT rect{};
  ::GetWindowRect(main, &rect);
  DWORD process = 0;
  ::GetWindowThreadProcessId(main, &process);
  out.Bool("found", true)
      .Int("hwnd", reinterpret_cast<long long>(main))
      .Int("pid", process)
      .Bool("visible", ::IsWindowVisible(main) != FALSE)
      .Bool("iconic", ::IsIconic(main) != FALSE)
      .Raw("rect", RectJson(rect))
      .Raw("work", RectJson(WorkArea()));
  return true;
}

bool CmdWindow(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  return WindowState(main, out);
}

// Waits until the main window exists and is shown ("any" as second argument: exists at all;
// the window exists, still hidden, while it initialises).
bool CmdWaitWindow(const Args& args, JsonLine& out) {
  long long timeout = 0;
  if (!NumberArg(args, 0, 10000, timeout)) return Fail(out, L"bad time-out");
  const bool mustBeShown = args.size() < 2 || args[1] != L"any";
  HWND main = nullptr;
  const bool appeared = PollUntil([&] {
    main = ::FindMainWindow();
    return main && (!mustBeShown || ::IsWindowVisible(main));
  }, std::chrono::milliseconds(timeout));
  if (!appeared) return Fail(out, main ? L"main window not shown" : L"main window did not appear");
  return WindowState(main, out);
}

bool CmdWaitGone(const Args& args, JsonLine& out) {
  long long timeout = 0;
  if (!NumberArg(args, 0, 10000, timeout)) return Fail(out, L"bad time-out");
  if (!PollUntil([] { return ::FindMainWindow() == nullptr; }, std::chrono::milliseconds(timeout))) {
    return Fail(out, L"main window is still there");
  }
  out.Bool("gone", true);
  return true;
}

bool CmdGetText(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control)) return false;
  std::wstring text;
  if (!WindowTextOf(control, text)) return Fail(out, L"no answer");
  out.Text("text", text);
  return true;
}

bool CmdSetText(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control)) return false;
  if (args.size() < 2) return Fail(out, L"expected a text");
  if (!SetControlText(control, args[1])) return Fail(out, L"WM_SETTEXT failed");
  std::wstring now;
  if (!WindowTextOf(control, now)) return Fail(out, L"no answer");
  out.Text("text", now);
  return true;
}

bool CmdComboGet(const Args& args, JsonLine& out) {
  HWND combo = nullptr;
  if (!Control(args, out, combo)) return false;
  LRESULT selected = 0, count = 0;
  if (!SendWithTimeout(combo, CB_GETCURSEL, 0, 0, selected) ||
      !SendWithTimeout(combo, CB_GETCOUNT, 0, 0, count)) {
    return Fail(out, L"no answer");
  }
  std::vector<std::wstring> items;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = 0;
    if (!SendWithTimeout(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, length) || length < 0) {
      return Fail(out, L"CB_GETLBTEXTLEN failed");
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!SendWithTimeout(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text.data()), copied) || copied < 0) {
      return Fail(out, L"CB_GETLBTEXT failed");
    }
    text.resize(static_cast<size_t>(copied));
    items.push_back(text);
  }
  out.Int("index", selected)
      .Text("text", selected >= 0 && selected < count ? items[static_cast<size_t>(selected)] : L"")
      .TextList("items", items);
  return true;
}

bool CmdComboSet(const Args& args, JsonLine& out) {
  HWND combo = nullptr;
  if (!Control(args, out, combo)) return false;
  long long index = 0;
  if (args.size() < 2 || !ParseNumber(args[1], index)) return Fail(out, L"expected an index");
  if (!SelectComboEntry(combo, index)) return Fail(out, L"CB_SETCURSEL failed");
  out.Int("index", index);
  return true;
}

bool Usable(HWND control, JsonLine& out) {
  if (!::IsWindowVisible(control)) return Fail(out, L"control is hidden");
  if (!::IsWindowEnabled(control)) return Fail(out, L"control is disabled");
  return true;
}

// A click on an enabled button (see PostClick).
bool CmdClick(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control) || !Usable(control, out)) return false;
  if (!PostClick(control)) return Fail(out, L"PostMessage failed");
  out.Int("id", ::GetDlgCtrlID(control));
  return true;
}

bool CmdIsEnabled(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control)) return false;
  RECT rect{};
  ::GetWindowRect(control, &rect);
  out.Bool("enabled", ::IsWindowEnabled(control) != FALSE)
      .Bool("visible", ::IsWindowVisible(control) != FALSE)
      .Raw("rect", RectJson(rect));  // on the screen, for real mouse clicks
  return true;
}

bool PostToMain(JsonLine& out, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  if (!::PostMessageW(main, message, wParam, lParam)) return Fail(out, L"PostMessage failed");
  out.Bool("posted", true);
  return true;
}

bool CmdClose(const Args&, JsonLine& out) { return PostToMain(out, WM_CLOSE, 0, 0); }

bool CmdCommand(const Args& args, JsonLine& out) {
  long long id = 0;
  if (args.empty() || !ParseNumber(args[0], id)) return Fail(out, L"expected a command id");
  return PostToMain(out, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// The Escape key as the keyboard delivers it: to the focused control of the program's thread
// (or the window itself when nothing has the focus), through the program's message loop.
bool CmdEscape(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  HWND target = main;
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &info) && info.hwndFocus) {
    target = info.hwndFocus;
  }
  out.Text("target", ClassOf(target));
  return PressKey(target, VK_ESCAPE, out);
}

BOOL CALLBACK ListWindow(HWND window, LPARAM param) {
  auto* list = reinterpret_cast<std::string*>(param);
  wchar_t title[128] = {};
  ::GetWindowTextW(window, title, 128);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  JsonLine entry;
  entry.Int("hwnd", reinterpret_cast<long long>(window))
      .Text("class", ClassOf(window))
      .Text("title", title)
      .Int("pid", process)
      .Bool("visible", ::IsWindowVisible(window) != FALSE);
  if (list->size() > 1) *list += ',';
  *list += entry.Finish();
  return TRUE;
}

// Every top-level window: for diagnosing a scenario that cannot find what it looks for.
bool CmdWindows(const Args&, JsonLine& out) {
  std::string list = "[";
  ::EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&list));
  out.Raw("windows", list + "]");
  return true;
}
}  // namespace

void AddWindowCommands(CommandTable& table) {
  table[L"window"] = CmdWindow;
  table[L"wait-window"] = CmdWaitWindow;
  table[L"wait-gone"] = CmdWaitGone;
  table[L"get-text"] = CmdGetText;
  table[L"set-text"] = CmdSetText;
  table[L"combo-get"] = CmdComboGet;
  table[L"combo-set"] = CmdComboSet;
  table[L"click"] = CmdClick;
  table[L"is-enabled"] = CmdIsEnabled;
  table[L"close"] = CmdClose;
  table[L"command"] = CmdCommand;
  table[L"escape"] = CmdEscape;
  table[L"windows"] = CmdWindows;
}
