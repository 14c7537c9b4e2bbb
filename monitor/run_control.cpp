#include "monitor/run_control.h"

#include <algorithm>
#include <list>
#include <vector>

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
  // second set of sites from 1 behind the first.
  if (runActive_ || stopDepth_ > 0 || destroyed_) return;

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
  InsertTimedRow(lastTime, u"监控开始运行");

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
  InsertTimedRow(threads_.Now(), u"监控停止!");
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

  for (SiteProbeTask& task : taskTable_) {
    if (task.threadHandle == nullptr) continue;
    // A handle whose wait failed stays open with its record: closing it could let the system
    // hand its value to another object while the worker may still run.
    if (std::find(notKnownToHaveEnded.begin(), notKnownToHaveEnded.end(), task.threadHandle) !=
        notKnownToHaveEnded.end())
      continue;
    threads_.CloseThread(task.threadHandle);
    task.threadHandle = nullptr;
  }
  DiscardTaskTable(!notKnownToHaveEnded.empty());
  ++runsEnded_;
  runActive_ = false;
  window_.EnableStartStop(true, false);
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
  // Never freed, not even at exit (a worker may outlive every destructor); the swap keeps every
  // record at its address. Reachable through this pointer, so it is no leak to a checker.
  static auto* setAside = new std::list<TaskTable>();
  setAside->emplace_back();
  setAside->back().swap(taskTable_);
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
  HandleSiteStatus(siteNumber, status, taskTable_, threads_.Now(), window_.Outlets());
}
