#pragma once
// The driver's commands. Each takes its arguments (without the command name), writes its findings
// into `out` and returns whether it succeeded; on failure `out` carries an "error" text.
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/driver/json_line.h"

using CommandTable = std::map<std::wstring, bool (*)(const std::vector<std::wstring>&, JsonLine&)>;

void AddWindowCommands(CommandTable& table);
void AddLogCommands(CommandTable& table);
void AddPopupTrayCommands(CommandTable& table);
void AddAboutCommands(CommandTable& table);
void AddReportCommands(CommandTable& table);
void AddAlertsCommands(CommandTable& table);

bool RunCommand(const std::wstring& name, const std::vector<std::wstring>& args, JsonLine& out);
