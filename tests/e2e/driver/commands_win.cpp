#include "tests/e2e/driver/commands_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <map>

#include "framework/unique_handle_win.h"
#include "tests/e2e/driver/remote_block_win.h"
#include "tests/e2e/driver/target_windows_win.h"

namespace {

using Args = std::vector<std::wstring>;
using Command = bool (*)(const Args&, JsonLine&);

constexpr size_t kRemoteTextUnits = 2048;
constexpr DWORD kPollMs = 50;

bool Fail(JsonLine& out, const wchar_t* error) {
  out.Text("error", error);
  return false;
}

bool ParseNumber(const std::wstring& text, long long& value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  value = std::wcstoll(text.c_str(), &end, 10);
  return end && *end == L'\0';
}

bool NumberArg(const Args& args, size_t index, long long fallback, long long& value) {
  if (index >= args.size()) {
    value = fallback;
    return true;
  }
  return ParseNumber(args[index], value);
}

// Polls `condition` until it holds or the time-out has passed; the condition is checked once more
// at the deadline so a slow poll never misses it.
template <typename Condition>
bool WaitUntil(long long timeoutMs, Condition condition) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (true) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return condition();
    ::Sleep(kPollMs);
  }
}

std::string RectJson(const RECT& r) {
  std::string json = "[";
  for (LONG v : {r.left, r.top, r.right, r.bottom}) {
    if (json.size() > 1) json += ',';
    json += std::to_string(v);
  }
  json += ']';
  return json;
}

RECT WorkArea() {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

UniqueKernelHandle OpenForMemory(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return UniqueKernelHandle(::OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
      process));
}

bool MainWindow(JsonLine& out, HWND& main) {
  main = ::FindMainWindow();
  return main ? true : Fail(out, L"main window not found");
}

bool Control(const Args& args, JsonLine& out, HWND& control) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  long long id = 0;
  if (args.empty() || !ParseNumber(args[0], id)) return Fail(out, L"expected a control id");
  control = ::GetDlgItem(main, static_cast<int>(id));
  return control ? true : Fail(out, L"no such control");
}

// All rows of the run log, top first. Rows arriving while they are read make the count change;
// then the read is repeated so the answer is one consistent picture.
bool ReadLogRows(HWND main, std::vector<std::wstring>& rows, std::wstring& error) {
  HWND list = ::GetDlgItem(main, kRunLogId);
  if (!list) {
    error = L"no run log";
    return false;
  }
  UniqueKernelHandle process = OpenForMemory(list);
  if (!process) {
    error = L"cannot open the program's process";
    return false;
  }
  RemoteBlock block(process.get(), sizeof(LVITEMW) + kRemoteTextUnits * sizeof(wchar_t));
  if (!block) {
    error = L"cannot allocate in the program's process";
    return false;
  }
  for (int attempt = 0; attempt < 20; ++attempt) {
    LRESULT before = 0;
    if (!SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, before)) break;
    rows.clear();
    bool readAll = true;
    for (LRESULT i = 0; i < before && readAll; ++i) {
      LVITEMW item{};
      item.iSubItem = 0;
      item.pszText = static_cast<LPWSTR>(block.At(sizeof(LVITEMW)));
      item.cchTextMax = static_cast<int>(kRemoteTextUnits);
      LRESULT length = 0;
      std::wstring text(kRemoteTextUnits, L'\0');
      readAll = block.Write(0, &item, sizeof item) &&
                SendWithTimeout(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                                reinterpret_cast<LPARAM>(block.At(0)), length) &&
                length >= 0 && static_cast<size_t>(length) < kRemoteTextUnits &&
                block.Read(sizeof(LVITEMW), text.data(), kRemoteTextUnits * sizeof(wchar_t));
      text.resize(static_cast<size_t>(length));
      rows.push_back(text);
    }
    LRESULT after = 0;
    if (!readAll || !SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, after)) break;
    if (after == before) return true;
  }
  error = L"the run log could not be read";
  return false;
}

// --- commands ---

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

bool CmdWaitWindow(const Args& args, JsonLine& out) {
  long long timeout = 0;
  if (!NumberArg(args, 0, 10000, timeout)) return Fail(out, L"bad time-out");
  HWND main = nullptr;
  if (!WaitUntil(timeout, [&] { return (main = ::FindMainWindow()) != nullptr; })) {
    return Fail(out, L"main window did not appear");
  }
  return WindowState(main, out);
}

bool CmdWaitGone(const Args& args, JsonLine& out) {
  long long timeout = 0;
  if (!NumberArg(args, 0, 10000, timeout)) return Fail(out, L"bad time-out");
  if (!WaitUntil(timeout, [] { return ::FindMainWindow() == nullptr; })) {
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
  LRESULT result = 0;
  if (!SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[1].c_str()), result) ||
      !result) {
    return Fail(out, L"WM_SETTEXT failed");
  }
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
  LRESULT result = 0;
  if (!SendWithTimeout(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0, result) ||
      result != index) {
    return Fail(out, L"CB_SETCURSEL failed");
  }
  out.Int("index", result);
  return true;
}

bool Usable(HWND control, JsonLine& out) {
  if (!::IsWindowVisible(control)) return Fail(out, L"control is hidden");
  if (!::IsWindowEnabled(control)) return Fail(out, L"control is disabled");
  return true;
}

// What a click on an enabled button tells its dialog: WM_COMMAND with BN_CLICKED. Posted, so
// long handlers (Stop waits for the workers) can be watched while they run.
bool CmdClick(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control) || !Usable(control, out)) return false;
  const int id = ::GetDlgCtrlID(control);
  if (!::PostMessageW(::GetParent(control), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(control))) {
    return Fail(out, L"PostMessage failed");
  }
  out.Int("id", id);
  return true;
}

// A click through the button itself (BM_CLICK: press and release inside the button).
bool CmdBmClick(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control) || !Usable(control, out)) return false;
  if (!::PostMessageW(control, BM_CLICK, 0, 0)) return Fail(out, L"PostMessage failed");
  out.Int("id", ::GetDlgCtrlID(control));
  return true;
}

bool CmdIsEnabled(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!Control(args, out, control)) return false;
  out.Bool("enabled", ::IsWindowEnabled(control) != FALSE)
      .Bool("visible", ::IsWindowVisible(control) != FALSE);
  return true;
}

bool CmdLogRows(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  std::vector<std::wstring> rows;
  std::wstring error;
  if (!ReadLogRows(main, rows, error)) return Fail(out, error.c_str());
  out.TextList("rows", rows);
  return true;
}

// Waits until at least `count` rows contain `substring`.
bool CmdWaitRows(const Args& args, JsonLine& out) {
  long long count = 0, timeout = 0;
  if (args.size() < 3 || !ParseNumber(args[1], count) || !ParseNumber(args[2], timeout)) {
    return Fail(out, L"expected: substring count timeout-ms");
  }
  std::vector<std::wstring> rows;
  std::wstring error;
  const bool arrived = WaitUntil(timeout, [&] {
    HWND main = ::FindMainWindow();
    if (!main || !ReadLogRows(main, rows, error)) return false;
    long long matching = 0;
    for (const auto& row : rows) matching += row.find(args[0]) != std::wstring::npos;
    return matching >= count;
  });
  out.TextList("rows", rows);
  return arrived ? true : Fail(out, L"rows did not arrive in time");
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
  const LPARAM down = 0x00010001;  // repeat count 1, scan code 1 (Escape)
  if (!::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, down) ||
      !::PostMessageW(target, WM_KEYUP, VK_ESCAPE, down | 0xC0000000)) {
    return Fail(out, L"PostMessage failed");
  }
  out.Text("target", ClassOf(target));
  return true;
}

bool PopupState(HWND main, JsonLine& out) {
  HWND popup = FindPopup(main);
  out.Bool("found", popup != nullptr);
  if (!popup) return true;
  std::wstring title, body;
  if (!WindowTextOf(::GetDlgItem(popup, 1004), title) ||
      !WindowTextOf(::GetDlgItem(popup, kPopupBodyId), body)) {
    return Fail(out, L"popup texts not readable");
  }
  RECT rect{};
  ::GetWindowRect(popup, &rect);
  const LONG_PTR exStyle = ::GetWindowLongPtrW(popup, GWL_EXSTYLE);
  out.Bool("visible", ::IsWindowVisible(popup) != FALSE)
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
  const bool reached = WaitUntil(timeout, [&] {
    HWND popup = FindPopup(main);
    return popup && (::IsWindowVisible(popup) != FALSE) == (visible != 0);
  });
  if (!PopupState(main, out)) return false;
  return reached ? true : Fail(out, L"popup did not reach that state in time");
}

bool CmdTrayIcons(const Args&, JsonLine& out) {
  std::string list = "[";
  for (HWND icon : FindTrayIcons()) {
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
  std::vector<HWND> icons = FindTrayIcons();
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
  std::vector<HWND> icons = FindTrayIcons();
  std::vector<std::wstring> tips;
  for (HWND tooltip : FindTooltipWindows()) {
    UniqueKernelHandle process = OpenForMemory(tooltip);
    if (!process) continue;
    RemoteBlock block(process.get(), sizeof(TTTOOLINFOW) + kRemoteTextUnits * sizeof(wchar_t));
    if (!block) continue;
    LRESULT count = 0;
    if (!SendWithTimeout(tooltip, TTM_GETTOOLCOUNT, 0, 0, count)) continue;
    for (LRESULT i = 0; i < count; ++i) {
      TTTOOLINFOW info{};
      info.cbSize = sizeof info;
      info.lpszText = static_cast<LPWSTR>(block.At(sizeof(TTTOOLINFOW)));
      LRESULT found = 0;
      if (!block.Write(0, &info, sizeof info) ||
          !SendWithTimeout(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(block.At(0)), found) ||
          !found || !block.Read(0, &info, sizeof info)) {
        continue;
      }
      bool ofTrayIcon = false;
      for (HWND icon : icons) ofTrayIcon |= info.hwnd == icon;
      if (!ofTrayIcon) continue;
      // Ask for the text itself into a cleared buffer; the enumeration may not copy it.
      std::wstring text(kRemoteTextUnits, L'\0');
      info.lpszText = static_cast<LPWSTR>(block.At(sizeof(TTTOOLINFOW)));
      LRESULT ignored = 0;
      if (!block.Write(0, &info, sizeof info) ||
          !block.Write(sizeof(TTTOOLINFOW), text.data(), kRemoteTextUnits * sizeof(wchar_t)) ||
          !SendWithTimeout(tooltip, TTM_GETTEXTW, kRemoteTextUnits,
                           reinterpret_cast<LPARAM>(block.At(0)), ignored) ||
          !block.Read(sizeof(TTTOOLINFOW), text.data(), (kRemoteTextUnits - 1) * sizeof(wchar_t))) {
        continue;
      }
      text.resize(std::wcslen(text.c_str()));
      tips.push_back(text);
    }
  }
  out.Int("icons", static_cast<long long>(icons.size())).TextList("tips", tips);
  return true;
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

const std::map<std::wstring, Command>& Commands() {
  static const std::map<std::wstring, Command> commands = {
      {L"window", CmdWindow},         {L"wait-window", CmdWaitWindow},
      {L"wait-gone", CmdWaitGone},    {L"get-text", CmdGetText},
      {L"set-text", CmdSetText},      {L"combo-get", CmdComboGet},
      {L"combo-set", CmdComboSet},    {L"click", CmdClick},
      {L"bm-click", CmdBmClick},      {L"is-enabled", CmdIsEnabled},
      {L"log-rows", CmdLogRows},      {L"wait-rows", CmdWaitRows},
      {L"close", CmdClose},           {L"command", CmdCommand},
      {L"escape", CmdEscape},         {L"popup", CmdPopup},
      {L"wait-popup", CmdWaitPopup},  {L"tray-icons", CmdTrayIcons},
      {L"tray-click", CmdTrayClick},  {L"tray-tip", CmdTrayTip},
      {L"windows", CmdWindows},
  };
  return commands;
}

}  // namespace

bool RunCommand(const std::wstring& name, const std::vector<std::wstring>& args, JsonLine& out) {
  auto it = Commands().find(name);
  if (it == Commands().end()) return Fail(out, L"unknown command");
  return it->second(args, out);
}
