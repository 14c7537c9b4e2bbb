#pragma once
// Test doubles for run control: a thread half with real std::threads whose "message queue" is
// served by DispatchOneMessage on the test's (main) thread, and a window half that records every
// call, outlets included, in one ordered event list.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "monitor/run_flags.h"
#include "monitor/run_host.h"
#include "monitor/report_outlets.h"

namespace fake {

constexpr auto kDeadline = std::chrono::seconds(10);

// What a simulated worker does on its thread with its record.
class FakeThreads;
using WorkerBody = std::function<void(SiteProbeTask& task, FakeThreads& host)>;

class FakeThreads : public IRunThreads {
 public:
  // Called on the main thread for every status message it dispatches.
  std::function<void(uint64_t, int32_t)> onStatus;
  WorkerBody body;                 // default: DefaultWorker
  std::set<int32_t> failSites;     // thread creation fails for these site numbers
  std::set<int32_t> failWaitSites; // waiting for these sites' threads fails

  FakeThreads() : body(DefaultWorker) {}
  ~FakeThreads() override {
    // A test that failed half-way may leave workers running: let them end and join them.
    onStatus = nullptr;  // the run control may be gone already
    SetExitRequested(1);
    SetStopRequested(1);
    for (;;) {
      std::unique_lock<std::mutex> lock(mu_);
      bool allEnded = true;
      for (auto& w : workers_) allEnded = allEnded && w->ended;
      if (allEnded) break;
      if (!queue_.empty()) {
        lock.unlock();
        DispatchOneMessage();
        continue;
      }
      cv_.wait_for(lock, std::chrono::milliseconds(50));
    }
    for (auto& w : workers_)
      if (w->thread.joinable()) w->thread.join();
  }

  // The worker's last act: report status 9 and wait until the main thread has handled it.
  static void DefaultWorker(SiteProbeTask& task, FakeThreads& host) {
    host.WaitForStopFlag();
    host.Send(static_cast<uint64_t>(task.siteNumber), 9);
  }

  void* CreateWorkerThread(SiteProbeTask* task) override {
    if (failSites.count(task->siteNumber)) return nullptr;
    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    w->task = task;
    w->siteNumber = task->siteNumber;
    {
      std::lock_guard<std::mutex> lock(mu_);
      workers_.push_back(std::move(worker));
    }
    w->thread = std::thread([this, w] {
      body(*w->task, *this);
      std::lock_guard<std::mutex> lock(mu_);
      w->ended = true;
      cv_.notify_all();
    });
    return w;
  }

  ThreadWait WaitForThreadOrInput(void* thread) override {
    Worker* w = static_cast<Worker*>(thread);
    std::unique_lock<std::mutex> lock(mu_);
    waits_.push_back(w);
    if (failWaitSites.count(w->siteNumber)) return ThreadWait::Failed;
    if (w->closed) {
      ADD_FAILURE() << "waited on a thread handle that was already closed";
      return ThreadWait::Failed;
    }
    if (!cv_.wait_for(lock, kDeadline, [&] { return w->ended || !queue_.empty(); })) {
      ADD_FAILURE() << "a worker neither ended nor sent anything within the deadline";
      return ThreadWait::Failed;
    }
    return w->ended ? ThreadWait::Ended : ThreadWait::Input;
  }

  void DispatchOneMessage() override {
    Message m;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (queue_.empty()) return;
      m = std::move(queue_.front());
      queue_.pop_front();
    }
    ++dispatched;
    if (m.call) {
      m.call();
    } else if (onStatus) {
      onStatus(m.site, m.status);
    }
    if (m.handled) {
      std::lock_guard<std::mutex> lock(mu_);
      *m.handled = true;
      cv_.notify_all();
    }
  }

  void CloseThread(void* thread) override {
    Worker* w = static_cast<Worker*>(thread);
    if (w->closed) ADD_FAILURE() << "thread handle closed twice";
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (!w->ended) ADD_FAILURE() << "thread handle closed while its worker still runs";
    }
    if (w->thread.joinable()) w->thread.join();
    w->closed = true;
    closedSites.push_back(w->siteNumber);
  }

  LocalTime Now() override { return {2014, 5, 7, 9, 3, nowSecond++}; }

  // Worker side: queue a report (PostMessage).
  void Post(uint64_t site, int32_t status) {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back({site, status, nullptr, nullptr});
    cv_.notify_all();
  }
  // Worker side: deliver a report and wait until it was handled (SendMessage).
  void Send(uint64_t site, int32_t status) {
    auto handled = std::make_shared<bool>(false);
    std::unique_lock<std::mutex> lock(mu_);
    queue_.push_back({site, status, nullptr, handled});
    cv_.notify_all();
    if (!cv_.wait_for(lock, kDeadline, [&] { return *handled; }))
      ADD_FAILURE() << "the main thread never handled a synchronous report";
  }
  // Any thread: queue a call the main thread runs when it dispatches it (e.g. the window being
  // destroyed through the tray menu while a Stop waits).
  void PostCall(std::function<void()> call) {
    std::lock_guard<std::mutex> lock(mu_);
    queue_.push_back({0, 0, std::move(call), nullptr});
    cv_.notify_all();
  }
  // Worker side: the simulated tick loop until a flag is raised.
  void WaitForStopFlag() {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!StopRequested() && !ExitRequested()) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the stop flag was never raised";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // one simulated tick
    }
  }
  // Main thread: dispatch until cond holds, with a deadline (the message loop between Start
  // and Stop).
  bool PumpUntil(const std::function<bool()>& cond) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!cond()) {
      {
        std::unique_lock<std::mutex> lock(mu_);
        if (queue_.empty() &&
            !cv_.wait_until(lock, deadline, [&] { return !queue_.empty(); }))
          return cond();
      }
      DispatchOneMessage();
    }
    return true;
  }
  size_t CreatedCount() {
    std::lock_guard<std::mutex> lock(mu_);
    return workers_.size();
  }
  // The site numbers of the threads waited on, in order (consecutive repeats folded).
  std::vector<int32_t> WaitedSites() {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<int32_t> sites;
    for (Worker* w : waits_) {
      const int32_t n = w->siteNumber;
      if (sites.empty() || sites.back() != n) sites.push_back(n);
    }
    return sites;
  }

  std::vector<int32_t> closedSites;
  int dispatched = 0;
  int nowSecond = 0;

 private:
  struct Worker {
    std::thread thread;
    SiteProbeTask* task = nullptr;
    int32_t siteNumber = 0;  // as the record said when the thread was created
    bool ended = false;      // guarded by mu_
    bool closed = false;     // main thread only
  };
  struct Message {
    uint64_t site = 0;
    int32_t status = 0;
    std::function<void()> call;
    std::shared_ptr<bool> handled;
  };

  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Message> queue_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<Worker*> waits_;
};

// The window half: every call becomes one event in order.
class FakeWindow : public IRunWindow, public IReportOutlets {
 public:
  U16 editText;
  MonitorSettings settings{60, 3, 30};
  bool siteFileOpens = true;
  int notifyWindowTag = 0;
  std::vector<std::string> events;
  int settingsReads = 0;
  int editReads = 0;

  U16 ReadSiteListText() override {
    ++editReads;
    // The whole text, longer than any edit box hands over: run control makes its own cut.
    return editText;
  }
  void SetSiteListText(U16View text) override {
    editText = U16(text);
    events.push_back("edit:" + Utf8FromU16(text));
  }
  void EnableStartStop(bool start, bool stop) override {
    events.push_back(std::string("buttons:") + (start ? "1" : "0") + (stop ? "1" : "0"));
  }
  MonitorSettings ReadSettings() override {
    ++settingsReads;
    return settings;
  }
  bool StoreSiteList(U16View joined) override {
    events.push_back("store:" + Utf8FromU16(joined) + (siteFileOpens ? "" : " (not opened)"));
    return siteFileOpens;
  }
  void SaveSettings() override { events.push_back("save"); }
  void* NotifyWindow() override { return &notifyWindowTag; }
  IReportOutlets& Outlets() override { return *this; }

  void InsertLogRow(U16View text) override { events.push_back("row:" + Utf8FromU16(text)); }
  int ShowNotification(int show, int seconds, U16View text, U16View title) override {
    events.push_back("popup:" + std::to_string(show) + ":" + std::to_string(seconds) + ":" +
                     Utf8FromU16(text) + ":" + Utf8FromU16(title));
    return 1;
  }
  void SetTrayTip(U16View text) override { events.push_back("tip:" + Utf8FromU16(text)); }
};

}  // namespace fake
