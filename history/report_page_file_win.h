#pragma once
// The availability page written from the history to a file: read from GetLog's day files as of
// now, rendered, and put in place whole or not at all. Used by the console's --report --html
// and the tray's "可用率报告"; the reading takes as long as the history is big, so the window
// calls it on a thread of its own.
#include <windows.h>

#include <cstddef>
#include <string>

struct ReportPageFileResult {
  bool written = false;
  DWORD error = 0;   // GetLastError of the step that failed
  size_t sites = 0;  // sites on the page
};

// historyFolder is the GetLog folder; target the page's path. The bytes go to "<target>.tmp",
// flushed, which then replaces the target; on any failure the target stays as it was.
ReportPageFileResult WriteReportPageFile(const wchar_t* historyFolder, const std::wstring& target);
