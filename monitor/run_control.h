#pragma once
// Starting and ending a monitoring run: one probe worker per site of the normalised list, each
// with its record in the run's task table; the run-log rows, popups and button states that go
// with it. Runs on the main window's thread only.
#include <cstdint>
#include <memory>

#include "monitor/line_list.h"
#include "monitor/report_observer.h"
#include "monitor/run_host.h"
#include "monitor/task_table.h"

class RunControl {
 public:
  RunControl(IRunThreads& threads, IRunWindow& window);
  // Safety net only: the owner ends the run through OnDestroy before it goes.
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // The Start button: normalise the list, start one worker per site, store the list.
  void OnStart();
  // The Stop button: end the run's workers while still handling messages, then log the stop.
  void OnStop();
  // Ends the current run's workers and resets the run state. Safe to re-enter from a message
  // it dispatches while waiting (the window being destroyed during a Stop).
  void StopWorkers();
  // The main window's destruction: raise both flags, save the settings, end the workers and
  // discard the site list. Writes no row and shows no popup itself.
  void OnDestroy();
  // A worker's report (WM_SITE_STATUS: word parameter, long parameter).
  void OnSiteStatus(uint64_t siteNumber, int32_t status);

  // Hears every report of the current run after it has been handled, and the end of each run;
  // null: nobody. The observer must outlive the run control or be unset first.
  void SetReportObserver(IReportObserver* observer) { observer_ = observer; }

  const TaskTable& Tasks() const { return taskTable_; }
  bool RunActive() const { return runActive_; }
  // True while a worker of an ended run, whose wait failed, may still run: Start stays
  // unavailable until its last report has been handled.
  bool WaitingForSetAsideWorkers() const { return setAside_ != nullptr; }
  // The list of the last Start; null before the first Start and after destruction.
  const CLineList* LineList() const { return lineList_.get(); }

 private:
  void InsertTimedRow(const LocalTime& time, U16View text);
  enum class WorkerWait {
    Ended,
    NotKnownToHaveEnded,  // the wait itself failed: the worker may still be running
    RunEndedMeanwhile,    // a nested StopWorkers waited for, closed and cleared everything
  };
  // Waits for one worker while dispatching messages.
  WorkerWait WaitForWorker(void* thread, uint64_t runsEndedBefore);
  // Ends the run's table: the records go with it, unless some worker is not known to have
  // ended; then the whole table is set aside, since that worker may still read its record.
  void DiscardTaskTable(bool workerMayRun);
  // A report while a table is set aside (no run is active then): only a set-aside worker's last
  // report counts; once every such worker has made it, the table goes and Start comes back.
  void OnSetAsideStatus(uint64_t siteNumber, int32_t status);

  IRunThreads& threads_;
  IRunWindow& window_;
  IReportObserver* observer_ = nullptr;
  TaskTable taskTable_;
  TaskTable* setAside_ = nullptr;  // the ended run's table while one of its workers may run
  std::unique_ptr<CLineList> lineList_;
  uint64_t runsEnded_ = 0;  // raised each time StopWorkers clears the table
  int stopDepth_ = 0;       // StopWorkers calls in progress (nested ones included)
  bool runActive_ = false;
  bool destroyed_ = false;
};
