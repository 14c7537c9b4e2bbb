#include "monitor/run_control.h"

#include <algorithm>
#include <list>
#include <vector>

#include "base/status_texts.h"
#include "monitor/probe_status.h"
#include "monitor/report_texts.h"
#include "monitor/run_flags.h"
#include "monitor/site_task_builder.h"
#include "monitor/status_handler.h"

namespace {

struct DepthGuard {
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  int& depth_;
};

// Tables whose workers may still run. Never freed while such a worker may read them, not even at
// exit (a worker may outlive every destructor); reachable through this pointer, so no leak to a
// checker. A list keeps every record at its address.
std::list<TaskTable>& SetAsideTables() {
  static auto* tables = new std::list<TaskTable>();
  return *tables;
}

// Its worker's last report has been handled: the worker reads its record no more.
bool WorkerEndHandled(const SiteProbeTask& task) { return task.lastStatus == kStatusWorkerEnded; }

}  // namespace

RunControl::RunControl(IRunThreads& threads, IRunWindow& window) : threads_(threads), window_(window) {}

RunControl::~RunControl() {
  // Records must not be freed under running workers.
  if (!taskTable_.empty()) StopWorkers();
}

void RunControl::InsertTimedRow(const LocalTime& time, U16View text) {
  U16 row = FormatLogTime(time);
  row += u' ';
  row += text;
  window_.Outlets().InsertLogRow(row);
}

void RunControl::OnStart() {
  // Start is reachable only between runs; a stray call during a run or a stop would number a
  // second set of sites from 1 behind the first. While a worker of an ended run may still run,
  // Start would lower the stop flag under it and let its reports land on the new run's sites.
  if (runActive_ || stopDepth_ > 0 || destroyed_ || setAside_ != nullptr) return;

  const U16 text = window_.ReadSiteListText();
  if (text.empty()) return;

  const MonitorSettings settings = window_.ReadSettings();

  lineList_.reset();
  lineList_ = std::make_unique<CLineList>(CLineList::Normalised(text));
  const size_t siteCount = lineList_->Count();

  window_.EnableStartStop(false, true);
  runActive_ = true;
  SetStopRequested(0);

  LocalTime lastTime{};
  for (size_t i = 0; i < siteCount; ++i) {
    taskTable_.emplace_back();
    SiteProbeTask& task = taskTable_.back();
    BuildSiteProbeTask(task, *lineList_, i, settings, window_.NotifyWindow());
    // The record is complete before its worker exists; the worker never reads threadHandle.
    task.threadHandle = threads_.CreateWorkerThread(&task);

    lastTime = threads_.Now();
    U16 row = u"线程[" + U16Decimal(task.siteNumber) + u"]启动";
    if (task.threadHandle == nullptr) row += u"失败!";
    InsertTimedRow(lastTime, row);
  }
  if (siteCount == 0) lastTime = threads_.Now();
  InsertTimedRow(lastTime, kTextRunStart);

  const U16View joined = lineList_->Joined();
  window_.SetSiteListText(joined);
  if (window_.StoreSiteList(joined))
    window_.Outlets().ShowNotification(1, 3, u"监控开始运行...", kPopupTitle);
}

void RunControl::OnStop() {
  if (!runActive_ || stopDepth_ > 0 || destroyed_) return;
  runActive_ = false;

  SetStopRequested(1);
  InsertTimedRow(threads_.Now(), u"停止中...");
  window_.EnableStartStop(false, false);
  window_.Outlets().ShowNotification(0, 0, u"", kPopupTitle);
  window_.Outlets().SetTrayTip(kTrayTipName);

  StopWorkers();

  // The window may have been destroyed while the workers were being waited for: it must not
  // be touched any more.
  if (destroyed_) return;
  InsertTimedRow(threads_.Now(), kTextRunStop);
}

void RunControl::StopWorkers() {
  SetStopRequested(1);
  const uint64_t runsEndedBefore = runsEnded_;

  std::vector<void*> handles;
  handles.reserve(taskTable_.size());
  for (const SiteProbeTask& task : taskTable_) handles.push_back(task.threadHandle);

  std::vector<void*> notKnownToHaveEnded;
  {
    DepthGuard depth(stopDepth_);
    for (void* thread : handles) {
      if (thread == nullptr) continue;  // its creation failed
      switch (WaitForWorker(thread, runsEndedBefore)) {
        case WorkerWait::Ended:
          break;
        case WorkerWait::NotKnownToHaveEnded:
          notKnownToHaveEnded.push_back(thread);
          break;
        case WorkerWait::RunEndedMeanwhile:
          return;
      }
    }
  }

  bool workerMayRun = false;
  for (SiteProbeTask& task : taskTable_) {
    if (task.threadHandle == nullptr) continue;
    // A handle whose wait failed is never closed: closing it could let the system hand its
    // value to another object while the worker may still run.
    if (std::find(notKnownToHaveEnded.begin(), notKnownToHaveEnded.end(), task.threadHandle) !=
        notKnownToHaveEnded.end()) {
      workerMayRun = workerMayRun || !WorkerEndHandled(task);
      continue;
    }
    threads_.CloseThread(task.threadHandle);
    task.threadHandle = nullptr;
  }
  DiscardTaskTable(workerMayRun);
  ++runsEnded_;
  runActive_ = false;
  window_.EnableStartStop(setAside_ == nullptr, false);
}

RunControl::WorkerWait RunControl::WaitForWorker(void* thread, uint64_t runsEndedBefore) {
  for (;;) {
    switch (threads_.WaitForThreadOrInput(thread)) {
      case ThreadWait::Ended:
        return WorkerWait::Ended;
      case ThreadWait::Failed:  // waiting again would only spin
        return WorkerWait::NotKnownToHaveEnded;
      case ThreadWait::Input:
        threads_.DispatchOneMessage();
        // A message handled just now may have destroyed the window, whose StopWorkers waited
        // for every worker and closed every handle, this one included.
        if (runsEnded_ != runsEndedBefore) return WorkerWait::RunEndedMeanwhile;
        break;
    }
  }
}

void RunControl::DiscardTaskTable(bool workerMayRun) {
  if (!workerMayRun) {
    taskTable_.clear();
    return;
  }
  // The swap keeps every record at its address.
  std::list<TaskTable>& tables = SetAsideTables();
  tables.emplace_back();
  tables.back().swap(taskTable_);
  setAside_ = &tables.back();
}

void RunControl::OnSetAsideStatus(uint64_t siteNumber, int32_t status) {
  // Its other late reports belong to no run: the run they were made for has ended.
  if (status != kStatusWorkerEnded || siteNumber == 0 || siteNumber > setAside_->size()) return;
  if (WorkerEndHandled((*setAside_)[siteNumber - 1])) return;
  HandleSiteStatus(siteNumber, status, *setAside_, threads_.Now(), window_.Outlets());

  for (const SiteProbeTask& task : *setAside_)
    if (task.threadHandle != nullptr && !WorkerEndHandled(task)) return;
  // Every worker still holding a handle has made its last report and reads its record no more.
  TaskTable* const done = setAside_;
  setAside_ = nullptr;
  SetAsideTables().remove_if([done](const TaskTable& table) { return &table == done; });
  if (!destroyed_) window_.EnableStartStop(true, false);
}

void RunControl::OnDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  SetExitRequested(1);
  SetStopRequested(1);
  window_.SaveSettings();
  StopWorkers();
  lineList_.reset();
}

void RunControl::OnSiteStatus(uint64_t siteNumber, int32_t status) {
  if (setAside_ != nullptr) {
    OnSetAsideStatus(siteNumber, status);
    return;
  }
  HandleSiteStatus(siteNumber, status, taskTable_, threads_.Now(), window_.Outlets());
}
