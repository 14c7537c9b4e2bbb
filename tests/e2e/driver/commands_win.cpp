#include "tests/e2e/driver/commands_win.h"

namespace {

const CommandTable& Commands() {
  static const CommandTable table = [] {
    CommandTable t;
    AddWindowCommands(t);
    AddLogCommands(t);
    AddPopupTrayCommands(t);
    AddAboutCommands(t);
    AddReportCommands(t);
    AddAlertsCommands(t);
    return t;
  }();
  return table;
}

}  // namespace

bool RunCommand(const std::wstring& name, const std::vector<std::wstring>& args, JsonLine& out) {
  auto it = Commands().find(name);
  if (it == Commands().end()) {
    out.Text("error", L"unknown command");
    return false;
  }
  return it->second(args, out);
}
