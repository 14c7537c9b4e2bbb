#pragma once
// The alerts of a running program: it hears every handled report (as run control's observer, on
// the main window's thread), turns them into alerts, and hands them to its own sender thread,
// which sends them to the channels. Nothing here waits on the main window's thread for a send:
// a report, a popup, Stop and exit go on whatever the receivers do, and exit waits for the
// sender a few seconds at most.
//
// Rows for the run log (a message given up) are made on the sender thread and kept here; it
// calls `rowsWaiting`, which posts a window message, and the main window takes them with
// TakeRows on its own thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alerts/alert_channel.h"
#include "alerts/alert_clock.h"
#include "alerts/alert_outbox.h"
#include "alerts/alert_tracker.h"
#include "alerts/channel_sender.h"
#include "alerts/pending_alerts.h"
#include "monitor/report_observer.h"

struct AlertEngineSetup {
  std::shared_ptr<IChannelSender> sender;
  std::shared_ptr<IAlertClock> clock;  // the system's clocks when null
  std::string machine;                 // the machine's name, UTF-8, named in every message
  OutboxLimits limits;
};

class AlertEngine final : public IReportObserver {
 public:
  explicit AlertEngine(AlertEngineSetup setup);
  // Shuts down first, if Start was called and Shutdown was not.
  ~AlertEngine() override;
  AlertEngine(const AlertEngine&) = delete;
  AlertEngine& operator=(const AlertEngine&) = delete;

  // Starts the sender thread with the channels (the disabled ones take no part) and what an
  // earlier run left undelivered. `rowsWaiting` is called on the sender thread when rows wait to
  // be taken, and must return at once. False when the thread could not be started (no alerts).
  bool Start(const std::vector<AlertChannel>& channels, const std::vector<PendingMessage>& earlier,
             std::function<void()> rowsWaiting);
  // The channels after the dialog saved them; returns at once (a send in flight goes on).
  void SetChannels(const std::vector<AlertChannel>& channels);
  const std::string& MachineName() const { return machine_; }

  // IReportObserver (main window's thread).
  void OnReportHandled(const HandledReport& report) override;
  void OnRunEnded() override;

  // The run-log rows the sender has made since the last call, without their time stamps.
  std::vector<U16> TakeRows();

  // Ends the sender thread: what is due now is still sent for up to drainMs, then a send in
  // flight is cancelled and the thread given cancelMs more; a thread stuck even then is left to
  // the process's end. Returns what was not delivered, to be kept for the next start.
  std::vector<PendingMessage> Shutdown(int64_t drainMs = 2000, int64_t cancelMs = 1000);

 private:
  struct Shared;
  static void SenderLoop(std::shared_ptr<Shared> shared);
  void Hand(std::vector<AlertEvent> events, bool offlineChanged, bool retryNow);

  std::string machine_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  AlertTracker tracker_;  // the main window's thread alone
  bool running_ = false;
};
