#include "tests/e2e/driver/command_support_win.h"

#include <cwchar>
#include <string>

#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/window_view_win.h"

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

std::string RectJson(const RECT& r) {
  std::string json = "[";
  for (LONG v : {r.left, r.top, r.right, r.bottom}) {
    if (json.size() > 1) json += ',';
    json += std::to_string(v);
  }
  json += ']';
  return json;
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


namespace {

// What a failing key command saw of its window, for the answer.
void DescribeWindow(HWND window, JsonLine& out) {
  const bool alive = ::IsWindow(window) != FALSE;
  out.Int("hwnd", reinterpret_cast<long long>(window)).Bool("alive", alive);
  if (alive) {
    out.Bool("visible", ::IsWindowVisible(window) != FALSE).Bool("enabled", ::IsWindowEnabled(window) != FALSE);
  }
}

}  // namespace

bool PressKey(HWND target, UINT key, JsonLine& out) {
  LRESULT ignored = 0;
  const bool ready = ::IsWindow(target) && ::IsWindowVisible(target) && ::IsWindowEnabled(target) &&
                     sitemon_test::SendWithTimeout(target, WM_NULL, 0, 0, ignored);
  if (!ready) {
    DescribeWindow(target, out);
    return Fail(out, L"the window was not ready for a key (gone, hidden, disabled or not answering)");
  }
  const UINT scan = ::MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);  // repeat count 1
  if (!::PostMessageW(target, WM_KEYDOWN, key, down)) {
    const DWORD error = ::GetLastError();
    DescribeWindow(target, out);
    out.Int("last_error", static_cast<long long>(error));
    return Fail(out, L"PostMessage of the key-down failed");
  }
  const bool upPosted = ::PostMessageW(target, WM_KEYUP, key, down | 0xC0000000) != FALSE;
  if (!upPosted && ::IsWindow(target)) {
    const DWORD error = ::GetLastError();
    DescribeWindow(target, out);
    out.Int("last_error", static_cast<long long>(error));
    return Fail(out, L"PostMessage of the key-up failed while the window was still there");
  }
  out.Int("hwnd", reinterpret_cast<long long>(target)).Bool("closed_by_key_down", !upPosted);
  return true;
}
