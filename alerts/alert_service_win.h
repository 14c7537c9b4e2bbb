#pragma once
// The alerts as the two programs run them: alerts.json read at start (a damaged file set aside
// and said in one row; the monitoring goes on without alerts), the alerts an earlier run left,
// the engine with the program's channel sender, and at the end what is undelivered kept in the
// data folder. All calls on the thread of the window that shows the run log.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "alerts/alert_engine.h"

// This machine's name as the messages show it (UTF-8); empty when Windows does not tell.
std::string ThisMachineName();

class AlertService {
 public:
  AlertService();
  ~AlertService();
  AlertService(const AlertService&) = delete;
  AlertService& operator=(const AlertService&) = delete;

  // Reads the channels and the pending file and starts the sender, which posts `message` to
  // `window` whenever rows wait. Returns the rows to show now (without their time stamps).
  std::vector<U16> Start(const wchar_t* alertsFile, const wchar_t* pendingFile, HWND window, UINT message);
  // Run control's observer; valid for the service's life, also before Start and after Stop.
  IReportObserver& Observer() { return *engine_; }
  // The channels as the "告警通知" dialog saved them.
  void SetChannels(const std::vector<AlertChannel>& channels) { engine_->SetChannels(channels); }
  const std::string& MachineName() const { return engine_->MachineName(); }
  // The rows that wait (the sender's window message), without their time stamps.
  std::vector<U16> TakeRows() { return engine_->TakeRows(); }
  // Ends the sender within a few seconds and keeps what was not delivered for the next start.
  // Returns the rows still waiting. Once only; later calls do nothing.
  std::vector<U16> Stop();

 private:
  std::unique_ptr<AlertEngine> engine_;
  std::wstring pendingFile_;
  bool started_ = false;
};
