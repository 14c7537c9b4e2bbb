#pragma once
// What the "告警通知" dialog of the main window reaches: the channels' file in the data folder,
// the alerts that take the saved channels, the test message and the sender.
#include <functional>
#include <string>
#include <vector>

#include "shell/alerts_dlg_win.h"

// alertsFile: alerts.json's path. apply: hands saved channels to the running alerts. machine: the
// machine's name as the alerts' messages give it (UTF-8).
AlertsDialogServices AlertsDialogServicesFor(const std::wstring& alertsFile,
                                             std::function<void(const std::vector<AlertChannel>&)> apply,
                                             const std::string& machine);
