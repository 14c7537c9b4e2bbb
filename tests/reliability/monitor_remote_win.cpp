#include "tests/reliability/monitor_remote_win.h"

#include <commctrl.h>

namespace {

constexpr UINT kAnswerTimeoutMs = 10000;

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK Consider(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (s->process != 0 && owner != s->process) return TRUE;
  if (::GetDlgItem(window, kRunLogId) && ::GetDlgItem(window, kStartId)) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer))
    return false;
  result = static_cast<LRESULT>(answer);
  return true;
}

}  // namespace

HWND FindMonitorWindow(DWORD process) {
  Search s{process, nullptr};
  ::EnumWindows(Consider, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool SetControlText(HWND main, int id, const std::wstring& text) {
  HWND control = ::GetDlgItem(main, id);
  LRESULT result = 0;
  return control && Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), result) && result;
}

bool SelectListEntry(HWND main, int id, int index) {
  HWND control = ::GetDlgItem(main, id);
  LRESULT result = 0;
  return control && Send(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0, result) && result == index;
}

bool PressButton(HWND main, int id) {
  HWND button = ::GetDlgItem(main, id);
  return button && ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool IsControlEnabled(HWND main, int id) {
  HWND control = ::GetDlgItem(main, id);
  return control && ::IsWindowEnabled(control);
}

long RunLogRows(HWND main) {
  HWND log = ::GetDlgItem(main, kRunLogId);
  LRESULT rows = 0;
  if (!log || !Send(log, LVM_GETITEMCOUNT, 0, 0, rows)) return -1;
  return static_cast<long>(rows);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return t;
}

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(Now().QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}
