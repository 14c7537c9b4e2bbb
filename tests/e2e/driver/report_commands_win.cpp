// Commands that hand the main window reports as its workers do, for long runs and for the cost
// of one report:
//   post-reports <n> <site> <other-site> <status> <batch>
//       posts n reports in batches (PostMessageW, as a worker posts them); each batch is reports
//       of one site closed by one of the other, and the sites swap at every batch, so the run
//       log's top row names the closing site only once its batch has been handled: that is the
//       wait, which holds however many rows the log keeps. Answers the row count and top row.
//   report-cost <n> <site> <status>
//       with the log emptied before each part: n reports sent one after another
//       (SendMessageW returns when the window has handled one), then n bare row inserts of a
//       row of the same length sent to the run log itself (the anchor); ms per report and per
//       insert. The log is emptied again at the end.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "base/unique_handle_win.h"
#include "monitor/site_status_message.h"
#include "res/resource.h"
#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/run_log_reader_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::PollUntil;
using sitemon_test::SendWithTimeout;
using sitemon_test::Stopwatch;

namespace {

constexpr std::chrono::seconds kBatchTimeout{60};

bool ClearLog(HWND main, const RunLogReader& log) {
  LRESULT ignored = 0;
  return SendWithTimeout(main, WM_COMMAND, IDC_CLEAR_LOG, 0, ignored) && log.Count() == 0;
}

// The top row names this site's address: the text between the stamp and the status.
bool TopRowIsOf(const RunLogReader& log, const std::wstring& marker) {
  std::wstring top;
  return log.Row(0, top) && top.find(marker) != std::wstring::npos;
}

bool CmdPostReports(const Args& args, JsonLine& out) {
  long long count = 0, site = 0, other = 0, status = 0, batch = 0;
  if (args.size() < 5 || !ParseNumber(args[0], count) || !ParseNumber(args[1], site) ||
      !ParseNumber(args[2], other) || !ParseNumber(args[3], status) || !ParseNumber(args[4], batch) ||
      batch < 2 || site == other) {
    return Fail(out, L"expected: n site other-site status batch (batch of 2 or more)");
  }
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  const RunLogReader log(::GetDlgItem(main, IDC_RUN_LOG));
  if (!log.ok()) return Fail(out, L"cannot reach the run log's memory");
  // The address each site's rows carry: learnt from one report of each, handled first.
  std::wstring marks[2];
  const long long sites[2] = {site, other};
  for (int i = 0; i < 2; ++i) {
    LRESULT ignored = 0;
    std::wstring row;
    if (!SendWithTimeout(main, WM_SITE_STATUS, static_cast<WPARAM>(sites[i]), static_cast<LPARAM>(status), ignored) ||
        !log.Row(0, row)) {
      return Fail(out, L"a report was not handled");
    }
    // "<date> <time> <address> <status text>": the address is the third word.
    const size_t date = row.find(L' '), time = row.find(L' ', date + 1), end = row.rfind(L' ');
    if (time == std::wstring::npos || end <= time) return Fail(out, L"a report gave no site row");
    marks[i] = L" " + row.substr(time + 1, end - time - 1) + L" ";
  }
  if (marks[0] == marks[1]) return Fail(out, L"the two sites need different addresses");
  long long posted = 2;
  int closing = 1;  // the report that closes the next batch is of sites[closing]
  const Stopwatch watch;
  while (posted < count) {
    const long long now = std::min(batch, count - posted);
    const WPARAM body = static_cast<WPARAM>(sites[1 - closing]);
    for (long long i = 0; i + 1 < now; ++i) ::PostMessageW(main, WM_SITE_STATUS, body, static_cast<LPARAM>(status));
    ::PostMessageW(main, WM_SITE_STATUS, static_cast<WPARAM>(sites[closing]), static_cast<LPARAM>(status));
    if (!PollUntil([&] { return TopRowIsOf(log, marks[closing]); }, kBatchTimeout, std::chrono::milliseconds(1))) {
      return Fail(out, L"a batch of reports was not handled in time");
    }
    posted += now;
    closing = 1 - closing;
  }
  std::wstring top;
  log.Row(0, top);
  out.Int("reports", posted).Int("ms", static_cast<long long>(watch.Milliseconds())).Int("rows", log.Count())
      .Text("top", top);
  return true;
}

bool CmdReportCost(const Args& args, JsonLine& out) {
  long long count = 0, site = 0, status = 0;
  if (args.size() < 3 || !ParseNumber(args[0], count) || !ParseNumber(args[1], site) ||
      !ParseNumber(args[2], status) || count < 1) {
    return Fail(out, L"expected: n site status");
  }
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  const RunLogReader log(::GetDlgItem(main, IDC_RUN_LOG));
  if (!log.ok() || !ClearLog(main, log)) return Fail(out, L"cannot empty the run log");

  const Stopwatch reports;
  for (long long i = 0; i < count; ++i) {
    LRESULT ignored = 0;
    if (!SendWithTimeout(main, WM_SITE_STATUS, static_cast<WPARAM>(site), static_cast<LPARAM>(status), ignored))
      return Fail(out, L"a report was not handled");
  }
  const double reportMs = reports.Milliseconds();
  std::wstring row;
  // The log keeps a bounded number of rows: n is meant to stay below it.
  if (log.Count() != count || !log.Row(0, row)) return Fail(out, L"the reports did not each add a row");

  if (!ClearLog(main, log)) return Fail(out, L"cannot empty the run log");
  const Stopwatch inserts;
  for (long long i = 0; i < count; ++i) {
    if (!log.InsertTop(row)) return Fail(out, L"a row could not be inserted");
  }
  const double insertMs = inserts.Milliseconds();
  if (log.Count() != count || !ClearLog(main, log)) return Fail(out, L"the inserts did not each add a row");

  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "%.4f", reportMs / static_cast<double>(count));
  out.Raw("report_ms", numbers);
  std::snprintf(numbers, sizeof numbers, "%.4f", insertMs / static_cast<double>(count));
  out.Raw("insert_ms", numbers).Text("row", row);
  return true;
}

}  // namespace

void AddReportCommands(CommandTable& table) {
  table[L"post-reports"] = CmdPostReports;
  table[L"report-cost"] = CmdReportCost;
}
