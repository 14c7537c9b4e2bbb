#pragma once
// The window half of run control for the console program: the "edit box" is the stored site
// list, the buttons do not exist, the settings are the stored ones as the window's lists would
// show them after repair, and the files are the window's own.
#include "monitor/run_host.h"
#include "store/code_page.h"
#include "store/config_record.h"
#include "store/store_files.h"

// What the run may write: a run on addresses or settings from the command line leaves the
// stored ones as they are.
struct ConsoleStoring {
  bool siteList = true;  // Start's store of the normalised list in site.txt
  bool settings = true;  // the save of Config.dat on leaving
};

struct StoredStatePaths {
  U16 siteListPath;
  U16 configPath;
};

// Loads the stored state as the main window's initialisation does: Config.dat over the record
// (softtype 2), the three settings repaired to list values, and the site list text (the default
// list when site.txt is missing or cannot be opened for update).
U16 LoadStoredState(IStoreFiles& files, ICodePageConverter& codePage, const StoredStatePaths& paths,
                    ConfigRecord& record);

class ConsoleRunWindow final : public IRunWindow {
 public:
  ConsoleRunWindow(IStoreFiles& files, ICodePageConverter& codePage, StoredStatePaths paths,
                   ConfigRecord& record, U16 siteListText, void* notifyWindow, IReportOutlets& outlets,
                   ConsoleStoring storing = {});

  U16 ReadSiteListText() override;
  void SetSiteListText(U16View text) override { siteListText_ = U16(text); }
  void EnableStartStop(bool, bool) override {}
  MonitorSettings ReadSettings() override { return SettingsOf(record_); }
  // Without storing, the list counts as stored: Start still shows its popup.
  bool StoreSiteList(U16View joinedList) override;
  void SaveSettings() override;
  void* NotifyWindow() override { return notifyWindow_; }
  IReportOutlets& Outlets() override { return outlets_; }

 private:
  IStoreFiles& files_;
  ICodePageConverter& codePage_;
  StoredStatePaths paths_;
  ConfigRecord& record_;
  U16 siteListText_;
  void* notifyWindow_;
  IReportOutlets& outlets_;
  ConsoleStoring storing_;
};
