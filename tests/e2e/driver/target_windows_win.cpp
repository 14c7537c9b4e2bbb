#include "tests/e2e/driver/target_windows_win.h"

#include <commctrl.h>

#include "res/resource.h"
#include "tests/support/window_view_win.h"

using sitemon_test::ClassOf;
using sitemon_test::SendWithTimeout;

namespace {

// The main window's title (string IDS_APP_NAME of the program).
const wchar_t kMainTitle[] = L"Corvell网站监控";

struct Search {
  HWND mainWindow = nullptr;
  DWORD process = 0;
  int controlId = 0;
  HWND found = nullptr;
};

BOOL CALLBACK MatchMain(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (search->process != 0) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != search->process) return TRUE;
  }
  wchar_t title[64] = {};
  // The window belongs to another process: GetWindowTextW reads the title without a message.
  ::GetWindowTextW(window, title, 64);
  if (std::wstring(title) == kMainTitle && ::GetDlgItem(window, IDC_RUN_LOG)) {
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

HWND FindSibling(HWND mainWindow, int controlId) {
  Search search;
  search.mainWindow = mainWindow;
  search.controlId = controlId;
  ::GetWindowThreadProcessId(mainWindow, &search.process);
  ::EnumWindows(MatchSibling, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND FindMainWindow(DWORD process) {
  Search search;
  search.process = process;
  ::EnumWindows(MatchMain, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindPopup(HWND mainWindow) { return FindSibling(mainWindow, IDC_POPUP_TEXT); }

HWND FindAboutBox(HWND mainWindow) { return FindSibling(mainWindow, IDC_ABOUT_TEXT); }

HWND FindAlertsDialog(HWND mainWindow) { return FindSibling(mainWindow, IDC_ALERTS_LIST); }

bool SetControlText(HWND control, const std::wstring& text) {
  LRESULT result = 0;
  return control && SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), result) &&
         result;
}

bool SelectComboEntry(HWND combo, long long index) {
  LRESULT result = 0;
  return combo && SendWithTimeout(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0, result) && result == index;
}

bool PostClick(HWND control) {
  return control && ::PostMessageW(::GetParent(control), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control), BN_CLICKED),
                                   reinterpret_cast<LPARAM>(control));
}

long long RunLogRowCount(HWND mainWindow) {
  HWND log = ::GetDlgItem(mainWindow, IDC_RUN_LOG);
  LRESULT rows = 0;
  if (!log || !SendWithTimeout(log, LVM_GETITEMCOUNT, 0, 0, rows)) return -1;
  return rows;
}
