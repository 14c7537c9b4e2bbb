#include "alerts/alert_engine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <system_error>

struct AlertEngine::Shared {
  explicit Shared(AlertEngineSetup& setup)
      : clock(setup.clock ? setup.clock : std::make_shared<SystemAlertClock>()),
        sender(setup.sender),
        outbox(*clock, setup.machine, setup.limits) {}

  std::shared_ptr<IAlertClock> clock;
  std::shared_ptr<IChannelSender> sender;

  std::mutex mutex;  // guards everything below but `cancel` and the notice of rows
  std::condition_variable changed;
  AlertOutbox outbox;
  bool draining = false;  // the program is ending: send what is due now, then end
  bool stopping = false;  // end now
  bool ended = false;     // the thread is done with the outbox
  std::atomic<bool> cancel{false};

  std::mutex noticeMutex;  // the rows' notice is not called once Shutdown has taken it away
  std::function<void()> rowsWaiting;

  void NoticeRows() {
    std::lock_guard<std::mutex> lock(noticeMutex);
    if (rowsWaiting) rowsWaiting();
  }
};

AlertEngine::AlertEngine(AlertEngineSetup setup)
    : machine_(setup.machine), shared_(std::make_shared<Shared>(setup)) {}

AlertEngine::~AlertEngine() {
  if (running_) Shutdown();
}

bool AlertEngine::Start(const std::vector<AlertChannel>& channels, const std::vector<PendingMessage>& earlier,
                        std::function<void()> rowsWaiting) {
  if (running_ || !shared_->sender) return false;
  {
    std::lock_guard<std::mutex> notice(shared_->noticeMutex);
    shared_->rowsWaiting = std::move(rowsWaiting);
  }
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->outbox.SetChannels(channels);
    shared_->outbox.Restore(earlier);
  }
  try {
    thread_ = std::thread(SenderLoop, shared_);
  } catch (const std::system_error&) {
    return false;
  }
  running_ = true;
  return true;
}

void AlertEngine::SenderLoop(std::shared_ptr<Shared> s) {
  std::unique_lock<std::mutex> lock(s->mutex);
  while (!s->stopping) {
    if (std::optional<AlertOutbox::Job> job = s->outbox.TakeJob()) {
      lock.unlock();
      const SendOutcome outcome = s->sender->Send(job->channel, job->message, s->cancel);
      const bool cancelled = !outcome.delivered && s->cancel.load();
      lock.lock();
      s->outbox.Finish(job->id, outcome, cancelled);
      if (s->outbox.HasRows()) {
        lock.unlock();
        s->NoticeRows();
        lock.lock();
      }
      continue;
    }
    if (s->draining) break;  // nothing more is due now
    const int64_t wake = s->outbox.NextWakeMs();
    if (wake == std::numeric_limits<int64_t>::max()) {
      s->changed.wait(lock);
    } else {
      const int64_t wait = std::clamp<int64_t>(wake - s->clock->SteadyMilliseconds(), 1, 60000);
      s->changed.wait_for(lock, std::chrono::milliseconds(wait));
    }
  }
  s->ended = true;
  s->changed.notify_all();
}

void AlertEngine::SetChannels(const std::vector<AlertChannel>& channels) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->outbox.SetChannels(channels);
  }
  shared_->changed.notify_all();
}

void AlertEngine::Hand(std::vector<AlertEvent> events, bool offlineChanged, bool retryNow) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    // The network alert comes first of all that goes once the machine is back online.
    if (offlineChanged) shared_->outbox.SetNetworkDown(tracker_.Offline());
    if (retryNow) shared_->outbox.RetryNow();
    shared_->outbox.Add(std::move(events));
  }
  shared_->changed.notify_all();
}

void AlertEngine::OnReportHandled(const HandledReport& report) {
  std::vector<AlertEvent> events;
  const bool wasOffline = tracker_.Offline();
  tracker_.OnReport(report, shared_->clock->UnixSeconds(), events);
  const bool offlineChanged = wasOffline != tracker_.Offline();
  if (events.empty() && !offlineChanged) return;
  // A site answering again shows the network works: a channel waiting to retry need not wait.
  const bool retryNow = std::any_of(events.begin(), events.end(), [](const AlertEvent& e) { return e.kind != AlertKind::Down; });
  Hand(std::move(events), offlineChanged, retryNow);
}

void AlertEngine::OnRunEnded() {
  std::vector<AlertEvent> events;
  const bool wasOffline = tracker_.Offline();
  tracker_.OnRunEnded(events);
  if (events.empty() && !wasOffline) return;
  Hand(std::move(events), wasOffline, false);
}

std::vector<U16> AlertEngine::TakeRows() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->outbox.TakeRows();
}

std::vector<PendingMessage> AlertEngine::Shutdown(int64_t drainMs, int64_t cancelMs) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->outbox.EndStorm();
  if (running_) {
    shared_->draining = true;
    shared_->changed.notify_all();
    Shared& s = *shared_;
    if (!s.changed.wait_for(lock, std::chrono::milliseconds(drainMs), [&s] { return s.ended; })) {
      s.stopping = true;
      s.cancel.store(true);
      s.changed.notify_all();
      s.changed.wait_for(lock, std::chrono::milliseconds(cancelMs), [&s] { return s.ended; });
    }
  }
  std::vector<PendingMessage> pending = shared_->outbox.Undelivered();
  const bool ended = shared_->ended;
  lock.unlock();
  {
    std::lock_guard<std::mutex> notice(shared_->noticeMutex);
    shared_->rowsWaiting = nullptr;
  }
  if (running_) {
    // A sender stuck in a receiver that never answers keeps the shared state alive by itself.
    if (ended) thread_.join();
    else thread_.detach();
    running_ = false;
  }
  return pending;
}
