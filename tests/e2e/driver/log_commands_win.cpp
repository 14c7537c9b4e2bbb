// Reading the run log (list view IDC_RUN_LOG) of the program: through memory allocated in the
// program's process, since list-view queries carry pointers that are not marshalled.
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"
#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/remote_block_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::kRemoteTextUnits;
using sitemon_test::OpenForMemory;
using sitemon_test::PollUntil;
using sitemon_test::RemoteBlock;
using sitemon_test::SendWithTimeout;

namespace {

// All rows of the run log, top first. Rows arriving while they are read make the count change;
// then the read is repeated so the answer is one consistent picture.
bool ReadLogRows(HWND main, std::vector<std::wstring>& rows, std::wstring& error) {
  HWND list = ::GetDlgItem(main, IDC_RUN_LOG);
  if (!list) {
    error = L"no run log";
    return false;
  }
  UniqueKernelHandle process = OpenForMemory(list);
  if (!process) {
    error = L"cannot open the program's process";
    return false;
  }
  RemoteBlock block(process.get(), sizeof(LVITEMW) + kRemoteTextUnits * sizeof(wchar_t));
  if (!block) {
    error = L"cannot allocate in the program's process";
    return false;
  }
  for (int attempt = 0; attempt < 20; ++attempt) {
    LRESULT before = 0;
    if (!SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, before)) break;
    rows.clear();
    bool readAll = true;
    for (LRESULT i = 0; i < before && readAll; ++i) {
      LVITEMW item{};
      item.iSubItem = 0;
      item.pszText = static_cast<LPWSTR>(block.At(sizeof(LVITEMW)));
      item.cchTextMax = static_cast<int>(kRemoteTextUnits);
      LRESULT length = 0;
      std::wstring text(kRemoteTextUnits, L'\0');
      readAll = block.Write(0, &item, sizeof item) &&
                SendWithTimeout(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                                reinterpret_cast<LPARAM>(block.At(0)), length) &&
                length >= 0 && static_cast<size_t>(length) < kRemoteTextUnits &&
                block.Read(sizeof(LVITEMW), text.data(), kRemoteTextUnits * sizeof(wchar_t));
      text.resize(static_cast<size_t>(length));
      rows.push_back(text);
    }
    LRESULT after = 0;
    if (!readAll || !SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, after)) break;
    if (after == before) return true;
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

// Waits until at least `count` rows contain `substring`.
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
  }, std::chrono::milliseconds(timeout));
  out.TextList("rows", rows);
  return arrived ? true : Fail(out, L"rows did not arrive in time");
}
}  // namespace

void AddLogCommands(CommandTable& table) {
  table[L"log-rows"] = CmdLogRows;
  table[L"wait-rows"] = CmdWaitRows;
}
