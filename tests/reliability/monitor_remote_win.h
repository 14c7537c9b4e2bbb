#pragma once
// Working a running SiteMonitor.exe from another process: find its main window, fill the site
// list, pick settings, press buttons (a posted WM_COMMAND, as a click sends), count run-log rows
// and hand it status reports as its workers would.
#include <windows.h>

#include <string>

constexpr int kSiteListId = 1000;
constexpr int kStartId = 1002;
constexpr int kStopId = 1003;
constexpr int kClearLogId = 1004;
constexpr int kCheckIntervalId = 1009;
constexpr int kRetryCountId = 1010;
constexpr int kRetryIntervalId = 1011;
constexpr int kRunLogId = 1018;
constexpr UINT kSiteStatusMessage = WM_USER + 5;

// The main window (a top-level window holding the run log and the Start button) of the given
// process, or of any process when process is 0. Null when there is none.
HWND FindMonitorWindow(DWORD process = 0);

bool SetControlText(HWND main, int id, const std::wstring& text);
bool SelectListEntry(HWND main, int id, int index);
// Posts the button's click notification to the main window.
bool PressButton(HWND main, int id);
bool IsControlEnabled(HWND main, int id);
// Rows of the run log; -1 when the window did not answer.
long RunLogRows(HWND main);

// Polls cond every millisecond until it holds or timeoutMs passes; the waited milliseconds
// (measured with the performance counter) go to waitedMs.
template <typename Cond>
bool WaitFor(Cond cond, DWORD timeoutMs, double* waitedMs = nullptr);

double MillisecondsSince(const LARGE_INTEGER& start);
LARGE_INTEGER Now();

template <typename Cond>
bool WaitFor(Cond cond, DWORD timeoutMs, double* waitedMs) {
  const LARGE_INTEGER start = Now();
  for (;;) {
    if (cond()) {
      if (waitedMs) *waitedMs = MillisecondsSince(start);
      return true;
    }
    if (MillisecondsSince(start) > timeoutMs) return false;
    ::Sleep(1);
  }
}
