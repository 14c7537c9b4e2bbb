#pragma once
// The tray's "可用率报告": the page written from the history into the data folder as
// "可用率报告.html" and opened in the default browser. Reading a big history takes a while, so
// the page is made on a thread of its own, which posts kReportPageMessage to the window when the
// file is written (or could not be); the window then opens it, or says in a message box why not.
// A click while a page is being made is ignored: that page opens soon.
#include <windows.h>

#include <string>

#include "base/unique_handle_win.h"
#include "history/report_page_file_win.h"

constexpr UINT kReportPageMessage = WM_APP + 0x52;  // wParam: written (1/0); lParam: the error

// "<data folder>\可用率报告.html" for the GetLog folder "<data folder>\GetLog"; empty when the
// folder has no parent.
std::wstring ReportPagePath(const wchar_t* historyFolder);

class ReportPageTask {
 public:
  ReportPageTask() = default;
  ReportPageTask(const ReportPageTask&) = delete;
  ReportPageTask& operator=(const ReportPageTask&) = delete;
  ~ReportPageTask() { Wait(); }

  // Starts making the page unless one is being made; a message box says when it cannot start.
  void Start(HWND window, const wchar_t* historyFolder);
  // kReportPageMessage: opens the page, or says why it cannot.
  void OnDone(HWND window, WPARAM wParam, LPARAM lParam);
  // Waits for a page being made (the window is going).
  void Wait();

 private:
  static DWORD WINAPI ThreadProc(LPVOID param);

  HWND window_ = nullptr;
  std::wstring historyFolder_;
  std::wstring target_;
  UniqueKernelHandle thread_;
};
