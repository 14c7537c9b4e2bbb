#include "shell/alerts_services_win.h"

#include <ctime>

#include "alerts/alert_config_store_win.h"
#include "alerts/alert_text.h"
#include "alerts/channel_sender_win.h"
#include "base/wide_text_win.h"
#include "shell/main_dlg_win.h"

namespace {

LocalTime Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace

AlertsDialogServices AlertsDialogServicesOf(CMainDlg& main) {
  AlertsDialogServices services;
  const std::wstring path = main.Paths().alertsFile;
  services.load = [path](std::vector<AlertChannel>& channels) -> std::string {
    AlertConfig config;
    std::wstring setAside;
    const AlertConfigLoad loaded = LoadAlertConfigFile(path, config, &setAside);
    channels = std::move(config.channels);
    if (loaded != AlertConfigLoad::Damaged) return {};
    const U16 name(AsU16(setAside.c_str()), setAside.size());
    return setAside.empty() ? "alerts.json 已损坏，未能读出"
                            : "alerts.json 已损坏，已另存为 " + Utf8FromU16(name);
  };
  services.save = [path](const std::vector<AlertChannel>& channels) {
    AlertConfig config;
    config.channels = channels;
    return SaveAlertConfigFile(path, config);
  };
  CMainDlg* window = &main;  // the dialog never outlives the main window: it closes it first
  services.apply = [window](const std::vector<AlertChannel>& channels) { window->Alerts().SetChannels(channels); };
  services.testMessage = [window] {
    return ComposeTestMessage(window->Alerts().MachineName(), Now(), static_cast<int64_t>(std::time(nullptr)));
  };
  services.sender = std::make_shared<WinChannelSender>();
  return services;
}
