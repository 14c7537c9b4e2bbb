#pragma once
// The site probe worker's loop, over an injected environment so it runs the same on a thread of
// its own (monitor/probe_worker_win.h) and on a fake clock in tests.
//
// One pass per one-second tick: ask whether the local network is alive (report 10 while it is
// down, 11 once when it comes back), count down to the next probe, and probe the site's address
// when the countdown runs out. A failure is retried after the retry interval and reported only on
// the (retry count + 1)-th consecutive failure; a success is reported every time. The loop ends
// when the stop flag is seen at the top of a pass or the exit flag at its bottom (or before the
// first pass); its last act is the synchronous report 9.
#include <cstdint>
#include <string>

#include "monitor/probe_status.h"
#include "monitor/site_probe_task.h"
#include "base/utf16.h"

// The outcome of one HTTP probe. Every handle the probe opened is closed before it returns.
struct HttpProbeResult {
  enum class Outcome {
    kNoInternetHandle,  // no internet handle could be opened
    kUrlNotOpened,      // the address did not open (no HTTP answer)
    kOpened,            // an answer head arrived; queryOk and statusText tell the rest
    kAbandoned,         // left unfinished because the program is ending; counts for nothing
  };
  Outcome outcome = Outcome::kNoInternetHandle;
  bool queryOk = false;   // the status query succeeded
  U16 statusText;         // the status code as decimal text; empty when the query failed
};

class IProbeEnvironment {
 public:
  virtual ~IProbeEnvironment() = default;
  // True when the local network is alive.
  virtual bool NetworkAlive() = 0;
  // Opens an internet handle, opens url through it, queries the status code, closes both.
  virtual HttpProbeResult ProbeUrl(const char16_t* url) = 0;
  // One tick.
  virtual void SleepOneTick() = 0;
  // Queues a report to the window; the worker does not wait.
  virtual void PostReport(void* window, int32_t siteNumber, ProbeStatus status) = 0;
  // Delivers the last report and returns once the window has handled it.
  virtual void SendFinalReport(void* window, int32_t siteNumber, ProbeStatus status) = 0;
  // The local ANSI code page's form of a text (the Chinese trace lines).
  virtual std::string ToAnsi(U16View text) = 0;
  // One trace line in the local ANSI code page, NUL-terminated.
  virtual void TraceLine(const char* ansiLine) = 0;
};

// The worker's whole life on the record (read, never written). Returns 0.
uint32_t RunSiteProbeWorker(const SiteProbeTask& task, IProbeEnvironment& env);
