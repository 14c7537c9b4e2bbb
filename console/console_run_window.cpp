#include "console/console_run_window.h"

#include <utility>

#include "monitor/settings_tables.h"
#include "store/stored_state.h"

U16 LoadStoredState(IStoreFiles& files, ICodePageConverter& codePage, const StoredStatePaths& paths,
                    ConfigRecord& record) {
  LoadConfig(files, paths.configPath, record);
  MonitorSettings settings = SettingsOf(record);
  SelectStoredSettings(settings);
  SetSettings(record, settings);
  std::optional<U16> text = LoadSiteText(files, codePage, paths.siteListPath);
  return text ? std::move(*text) : DefaultSiteList();
}

ConsoleRunWindow::ConsoleRunWindow(IStoreFiles& files, ICodePageConverter& codePage,
                                   StoredStatePaths paths, ConfigRecord& record, U16 siteListText,
                                   void* notifyWindow, IReportOutlets& outlets,
                                   ConsoleStoring storing)
    : files_(files),
      codePage_(codePage),
      paths_(std::move(paths)),
      record_(record),
      siteListText_(std::move(siteListText)),
      notifyWindow_(notifyWindow),
      outlets_(outlets),
      storing_(storing) {}

U16 ConsoleRunWindow::ReadSiteListText() { return siteListText_; }

bool ConsoleRunWindow::StoreSiteList(U16View joinedList) {
  if (!storing_.siteList) return true;
  return ::StoreSiteList(files_, codePage_, paths_.siteListPath, joinedList);
}

void ConsoleRunWindow::SaveSettings() {
  if (storing_.settings) SaveConfig(files_, paths_.configPath, record_);
}
