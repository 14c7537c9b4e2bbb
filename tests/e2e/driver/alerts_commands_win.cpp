// Commands on the "告警通知" dialog: its state (the channel list, the answer line), its fields
// and buttons, a row chosen in its list, and the Escape key.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "base/unique_handle_win.h"
#include "res/resource.h"
#include "tests/e2e/driver/command_support_win.h"
#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/remote_block_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::PollUntil;
using sitemon_test::SendWithTimeout;
using sitemon_test::WindowTextOf;
using sitemon_test::kRemoteTextUnits;

namespace {

constexpr int kColumns = 4;  // name, kind, state, address

bool Dialog(JsonLine& out, HWND& dialog) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  dialog = FindAlertsDialog(main);
  return dialog != nullptr ? true : Fail(out, L"no alerts dialog");
}

// The list's cells, read through a block of memory in the program's process.
bool ListRows(HWND list, std::string& json, long long& selected) {
  UniqueKernelHandle process = sitemon_test::OpenForMemory(list);
  if (!process) return false;
  sitemon_test::RemoteBlock block(process.get(), sizeof(LVITEMW) + kRemoteTextUnits * sizeof(wchar_t));
  LRESULT count = 0, chosen = -1;
  if (!block || !SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, count) ||
      !SendWithTimeout(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, chosen)) {
    return false;
  }
  selected = chosen;
  std::string cellsJson(1, '[');
  for (LRESULT row = 0; row < count; ++row) {
    std::vector<std::wstring> cells;
    for (int column = 0; column < kColumns; ++column) {
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = static_cast<LPWSTR>(block.At(sizeof(LVITEMW)));
      item.cchTextMax = static_cast<int>(kRemoteTextUnits);
      std::wstring text(kRemoteTextUnits, L'\0');
      LRESULT length = 0;
      if (!block.Write(0, &item, sizeof item) ||
          !SendWithTimeout(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.At(0)),
                           length) ||
          length < 0 || static_cast<size_t>(length) >= kRemoteTextUnits ||
          !block.Read(sizeof(LVITEMW), text.data(), kRemoteTextUnits * sizeof(wchar_t))) {
        return false;
      }
      text.resize(static_cast<size_t>(length));
      cells.push_back(text);
    }
    JsonLine entry;
    entry.TextList("cells", cells);
    const std::string object = entry.Finish();  // {"cells":[...]}: the list alone is wanted
    if (cellsJson.size() > 1) cellsJson.push_back(',');
    cellsJson.append(object, 9, object.size() - 10);
  }
  cellsJson.push_back(']');
  json = std::move(cellsJson);
  return true;
}

bool AlertsState(HWND main, JsonLine& out) {
  HWND dialog = FindAlertsDialog(main);
  out.Bool("found", dialog != nullptr);
  if (!dialog) return true;
  std::wstring answer, title;
  std::string rows;
  long long selected = -1;
  if (!WindowTextOf(::GetDlgItem(dialog, IDC_ALERTS_ANSWER), answer) ||
      !WindowTextOf(::GetDlgItem(dialog, IDC_ALERTS_TITLE), title) ||
      !ListRows(::GetDlgItem(dialog, IDC_ALERTS_LIST), rows, selected)) {
    return Fail(out, L"the alerts dialog did not answer");
  }
  RECT rect{};
  ::GetWindowRect(dialog, &rect);
  out.Bool("visible", ::IsWindowVisible(dialog) != FALSE)
      .Int("hwnd", reinterpret_cast<long long>(dialog))
      .Bool("foreground", ::GetForegroundWindow() == dialog)
      .Text("title", title)
      .Text("answer", answer)
      .Raw("rows", rows)
      .Int("selected", selected)
      .Bool("mail_fields", ::IsWindowVisible(::GetDlgItem(dialog, IDC_ALERTS_HOST)) != FALSE)
      .Bool("secret_field", ::IsWindowVisible(::GetDlgItem(dialog, IDC_ALERTS_SECRET)) != FALSE)
      .Raw("rect", RectJson(rect))
      .Raw("work", RectJson(sitemon_test::WorkArea()));
  return true;
}

bool CmdAlerts(const Args&, JsonLine& out) {
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  return AlertsState(main, out);
}

// Waits until the dialog is open and visible (1) or gone (0).
bool CmdWaitAlerts(const Args& args, JsonLine& out) {
  long long open = 0, timeout = 0;
  if (args.size() < 2 || !ParseNumber(args[0], open) || !ParseNumber(args[1], timeout)) {
    return Fail(out, L"expected: open(0/1) timeout-ms");
  }
  HWND main = nullptr;
  if (!MainWindow(out, main)) return false;
  const bool reached = PollUntil([&] {
    HWND dialog = FindAlertsDialog(main);
    return open ? dialog && ::IsWindowVisible(dialog) : dialog == nullptr;
  }, std::chrono::milliseconds(timeout));
  if (!AlertsState(main, out)) return false;
  return reached ? true : Fail(out, L"the alerts dialog did not reach that state in time");
}

// Waits until the answer line holds the given text.
bool CmdWaitAlertsAnswer(const Args& args, JsonLine& out) {
  long long timeout = 0;
  if (args.size() < 2 || !ParseNumber(args[1], timeout)) return Fail(out, L"expected: text timeout-ms");
  HWND dialog = nullptr;
  if (!Dialog(out, dialog)) return false;
  std::wstring answer;
  const bool reached = PollUntil([&] {
    return WindowTextOf(::GetDlgItem(dialog, IDC_ALERTS_ANSWER), answer) && answer.find(args[0]) != std::wstring::npos;
  }, std::chrono::milliseconds(timeout));
  out.Text("answer", answer);
  return reached ? true : Fail(out, L"the answer line did not show that text in time");
}

bool DialogControl(const Args& args, JsonLine& out, HWND& control) {
  HWND dialog = nullptr;
  long long id = 0;
  if (args.empty() || !ParseNumber(args[0], id)) return Fail(out, L"expected a control id");
  if (!Dialog(out, dialog)) return false;
  control = ::GetDlgItem(dialog, static_cast<int>(id));
  return control != nullptr ? true : Fail(out, L"no such control in the alerts dialog");
}

bool CmdAlertsSet(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!DialogControl(args, out, control)) return false;
  if (args.size() < 2) return Fail(out, L"expected a text");
  if (!SetControlText(control, args[1])) return Fail(out, L"WM_SETTEXT failed");
  return true;
}

// Chooses entry `index` of a list and tells the dialog, as a choice by the user does.
bool CmdAlertsCombo(const Args& args, JsonLine& out) {
  HWND combo = nullptr;
  long long index = 0;
  if (!DialogControl(args, out, combo)) return false;
  if (args.size() < 2 || !ParseNumber(args[1], index)) return Fail(out, L"expected an index");
  if (!SelectComboEntry(combo, index)) return Fail(out, L"CB_SETCURSEL failed");
  if (!::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(combo))) {
    return Fail(out, L"PostMessage failed");
  }
  return true;
}

bool CmdAlertsClick(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!DialogControl(args, out, control)) return false;
  if (!::IsWindowVisible(control) || !::IsWindowEnabled(control)) return Fail(out, L"control is hidden or disabled");
  if (!PostClick(control)) return Fail(out, L"PostMessage failed");
  return true;
}

bool CmdAlertsEnabled(const Args& args, JsonLine& out) {
  HWND control = nullptr;
  if (!DialogControl(args, out, control)) return false;
  RECT rect{};
  ::GetWindowRect(control, &rect);
  out.Bool("enabled", ::IsWindowEnabled(control) != FALSE)
      .Bool("visible", ::IsWindowVisible(control) != FALSE)
      .Raw("rect", RectJson(rect));
  return true;
}

// Selects row `index` of the channel list (the list tells the dialog, as a click does).
bool CmdAlertsSelect(const Args& args, JsonLine& out) {
  long long index = 0;
  if (args.empty() || !ParseNumber(args[0], index)) return Fail(out, L"expected a row");
  HWND dialog = nullptr;
  if (!Dialog(out, dialog)) return false;
  HWND list = ::GetDlgItem(dialog, IDC_ALERTS_LIST);
  UniqueKernelHandle process = sitemon_test::OpenForMemory(list);
  if (!process) return Fail(out, L"the program's memory cannot be reached");
  sitemon_test::RemoteBlock block(process.get(), sizeof(LVITEMW));
  LVITEMW item{};
  item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  LRESULT done = 0;
  if (!block || !block.Write(0, &item, sizeof item) ||
      !SendWithTimeout(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.At(0)),
                       done) || !done) {
    return Fail(out, L"LVM_SETITEMSTATE failed");
  }
  return true;
}

// The Escape key, posted to the dialog as the keyboard would deliver it through the loop.
bool CmdAlertsEscape(const Args&, JsonLine& out) {
  HWND dialog = nullptr;
  if (!Dialog(out, dialog)) return false;
  const LPARAM down = 0x00010001;  // repeat count 1, scan code 1 (Escape)
  if (!::PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, down) ||
      !::PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, down | 0xC0000000)) {
    return Fail(out, L"PostMessage failed");
  }
  return true;
}

}  // namespace

void AddAlertsCommands(CommandTable& table) {
  table[L"alerts"] = CmdAlerts;
  table[L"wait-alerts"] = CmdWaitAlerts;
  table[L"wait-alerts-answer"] = CmdWaitAlertsAnswer;
  table[L"alerts-set"] = CmdAlertsSet;
  table[L"alerts-combo"] = CmdAlertsCombo;
  table[L"alerts-click"] = CmdAlertsClick;
  table[L"alerts-enabled"] = CmdAlertsEnabled;
  table[L"alerts-select"] = CmdAlertsSelect;
  table[L"alerts-escape"] = CmdAlertsEscape;
}
