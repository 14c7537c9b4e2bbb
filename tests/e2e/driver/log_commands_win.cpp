// Reading the run log (list view IDC_RUN_LOG) of the program.
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"
#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/run_log_reader_win.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::PollUntil;

namespace {

// All rows of the run log, top first. Rows arriving while they are read make the count change;
// then the read is repeated so the answer is one consistent picture.
bool ReadLogRows(HWND main, std::vector<std::wstring>& rows, std::wstring& error) {
  HWND list = ::GetDlgItem(main, IDC_RUN_LOG);
  if (!list) {
    error = L"no run log";
    return false;
  }
  const RunLogReader log(list);
  if (!log.ok()) {
    error = L"cannot open or allocate in the program's process";
    return false;
  }
  for (int attempt = 0; attempt < 20; ++attempt) {
    const long long before = log.Count();
    if (before < 0) break;
    rows.assign(static_cast<size_t>(before), std::wstring());
    bool readAll = true;
    for (long long i = 0; i < before && readAll; ++i) readAll = log.Row(i, rows[static_cast<size_t>(i)]);
    if (!readAll) break;
    if (log.Count() == before) return true;
  }
  error = L"the run log could not be read";
  return false;
}

// --- commands ---

bool CmdLogRows(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  std::vector<std::wstring> rows;
  std::wstring error;
  if (!ReadLogRows(main, rows, error)) return Fail(out, error.c_str());
  out.TextList("rows", rows);
  return true;
}

// Waits until at least `count` rows contain `substring`. Every look reads the whole log across
// the process boundary (a few calls into the wineserver a row), so it looks four times a second:
// rows come seconds apart.
bool CmdWaitRows(const Args& args, JsonLine& out) {
  long long count = 0, timeout = 0;
  if (args.size() < 3 || !ParseNumber(args[1], count) || !ParseNumber(args[2], timeout)) {
    return Fail(out, L"expected: substring count timeout-ms");
  }
  std::vector<std::wstring> rows;
  std::wstring error;
  const bool arrived = PollUntil([&] {
    HWND main = ::FindMainWindow();
    if (!main || !ReadLogRows(main, rows, error)) return false;
    long long matching = 0;
    for (const auto& row : rows) matching += row.find(args[0]) != std::wstring::npos;
    return matching >= count;
  }, std::chrono::milliseconds(timeout), std::chrono::milliseconds(250));
  out.TextList("rows", rows);
  return arrived ? true : Fail(out, L"rows did not arrive in time");
}
}  // namespace

void AddLogCommands(CommandTable& table) {
  table[L"log-rows"] = CmdLogRows;
  table[L"wait-rows"] = CmdWaitRows;
}
