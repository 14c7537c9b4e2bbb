#pragma once
// Who else hears of every report run control has handled: the alerts watch the same reports the
// run log shows, after the status handler has written its row. Called on the main window's
// thread only, so an observer must return at once (it may not wait for anything).
#include <cstdint>

#include "base/log_time.h"
#include "base/utf16.h"

struct HandledReport {
  uint64_t siteNumber = 0;
  U16View url;     // valid for the call only
  int32_t status = 0;
  LocalTime time;  // the stamp of the report's row
};

class IReportObserver {
 public:
  virtual ~IReportObserver() = default;
  // A report of the current run, handled just now.
  virtual void OnReportHandled(const HandledReport& report) = 0;
  // The run's workers have ended and its table is gone: no report of that run follows.
  virtual void OnRunEnded() = 0;
};
