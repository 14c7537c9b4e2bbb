#include "tests/e2e/driver/command_support_win.h"

#include <cwchar>

#include "tests/e2e/driver/target_windows_win.h"

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

