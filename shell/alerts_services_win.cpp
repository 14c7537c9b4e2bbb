#include "shell/alerts_services_win.h"

#include <ctime>
#include <utility>

#include "alerts/alert_config_store_win.h"
#include "alerts/alert_text.h"
#include "alerts/channel_sender_win.h"
#include "base/wide_text_win.h"

namespace {

LocalTime Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace

AlertsDialogServices AlertsDialogServicesFor(const std::wstring& alertsFile,
                                             std::function<void(const std::vector<AlertChannel>&)> apply,
                                             const std::string& machine) {
  AlertsDialogServices services;
  services.load = [alertsFile](std::vector<AlertChannel>& channels) -> std::string {
    AlertConfig config;
    std::wstring setAside;
    const AlertConfigLoad loaded = LoadAlertConfigFile(alertsFile, config, &setAside);
    channels = std::move(config.channels);
    if (loaded != AlertConfigLoad::Damaged) return {};
    if (setAside.empty()) return "alerts.json 已损坏，未能读出";
    return "alerts.json 已损坏，已另存为 " + Utf8FromU16(U16View(AsU16(setAside.c_str()), setAside.size()));
  };
  services.save = [alertsFile](const std::vector<AlertChannel>& channels) {
    AlertConfig config;
    config.channels = channels;
    return SaveAlertConfigFile(alertsFile, config);
  };
  services.apply = std::move(apply);
  services.testMessage = [machine] {
    return ComposeTestMessage(machine, Now(), static_cast<int64_t>(std::time(nullptr)));
  };
  services.sender = std::make_shared<WinChannelSender>();
  return services;
}
