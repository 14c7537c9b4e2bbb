#include "tests/e2e/driver/target_windows_win.h"

namespace {

constexpr UINT kSendTimeoutMs = 5000;
// The main window's title (string 130 of the program).
const wchar_t kMainTitle[] = L"Corvell网站监控";

struct Search {
  HWND mainWindow = nullptr;
  DWORD process = 0;
  int controlId = 0;
  HWND found = nullptr;
  std::vector<HWND> all;
};

BOOL CALLBACK MatchMain(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t title[64] = {};
  // The window belongs to another process: GetWindowTextW reads the title without a message.
  ::GetWindowTextW(window, title, 64);
  if (std::wstring(title) == kMainTitle && ::GetDlgItem(window, kRunLogId)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Another dialog of the main window's process that holds the control searched for.
BOOL CALLBACK MatchSibling(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (window != search->mainWindow && process == search->process && ClassOf(window) == L"#32770" &&
      ::GetDlgItem(window, search->controlId)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectByClass(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (ClassOf(window) == L"tooltips_class32") search->all.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectTrayIcons(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (ClassOf(window) == L"__winex11_tray_icon") search->all.push_back(window);
  return TRUE;
}

}  // namespace

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  ::GetClassNameW(window, name, 128);
  return name;
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &answer)) {
    return false;
  }
  result = static_cast<LRESULT>(answer);
  return true;
}

bool WindowTextOf(HWND window, std::wstring& text) {
  LRESULT length = 0;
  if (!SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, length)) return false;
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = 0;
  if (!SendWithTimeout(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                       copied)) {
    return false;
  }
  buffer.resize(static_cast<size_t>(copied));
  text = buffer;
  return true;
}

HWND FindMainWindow() {
  Search search;
  ::EnumWindows(MatchMain, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

namespace {

HWND FindSibling(HWND mainWindow, int controlId) {
  Search search;
  search.mainWindow = mainWindow;
  search.controlId = controlId;
  ::GetWindowThreadProcessId(mainWindow, &search.process);
  ::EnumWindows(MatchSibling, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND FindPopup(HWND mainWindow) { return FindSibling(mainWindow, kPopupBodyId); }

HWND FindAboutBox(HWND mainWindow) { return FindSibling(mainWindow, kAboutTextId); }

std::vector<HWND> FindTrayIcons() {
  Search search;
  HWND tray = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
  if (tray) ::EnumChildWindows(tray, CollectTrayIcons, reinterpret_cast<LPARAM>(&search));
  return search.all;
}

std::vector<HWND> FindTooltipWindows() {
  Search search;
  ::EnumWindows(CollectByClass, reinterpret_cast<LPARAM>(&search));
  return search.all;
}
