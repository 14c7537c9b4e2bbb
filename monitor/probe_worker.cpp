#include "monitor/probe_worker.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "monitor/run_flags.h"

namespace {

constexpr size_t kTraceBufferBytes = 260;

class SiteProbeWorker {
 public:
  SiteProbeWorker(const SiteProbeTask& task, IProbeEnvironment& env) : task_(task), env_(env) {}

  uint32_t Run() {
    if (!ExitRequested()) {
      for (;;) {
        if (StopRequested()) break;
        Tick();
        if (ExitRequested()) break;
      }
    }
    TraceText(u"线程退出");
    env_.SendFinalReport(task_.notifyWindow, task_.siteNumber, kStatusWorkerEnded);
    return 0;
  }

 private:
  void Tick() {
    if (!env_.NetworkAlive()) {
      // The countdown stands still while the network is down.
      Post(kStatusNetworkDown);
      previousStatus_ = kStatusNetworkDown;
      TraceText(u"网络不通");
      env_.SleepOneTick();
      return;
    }
    if (previousStatus_ == kStatusNetworkDown) {
      Post(kStatusNetworkBack);
      TraceText(u"网络恢复正常");
    }
    previousStatus_ = kStatusNetworkBack;
    if (countdown_ > std::numeric_limits<int32_t>::min()) --countdown_;
    if (countdown_ > 0) {
      env_.SleepOneTick();
      return;
    }
    Probe();
  }

  void Probe() {
    countdown_ = task_.checkIntervalSeconds;
    const HttpProbeResult result = env_.ProbeUrl(task_.url.c_str());
    switch (result.outcome) {
      case HttpProbeResult::Outcome::kNoInternetHandle:
        // Not reported and not counted against the retry budget: the next attempt comes after
        // a full check interval.
        previousStatus_ = kStatusNoInternetHandle;
        TraceFormat("[%d]InternetOpen fail!status:%d", task_.siteNumber, kStatusNoInternetHandle);
        env_.SleepOneTick();
        return;
      case HttpProbeResult::Outcome::kUrlNotOpened:
        ++openFailures_;
        previousStatus_ = kStatusUrlNotOpened;
        TraceFormat("[%d]InternetOpenUrl fail!status:%d", task_.siteNumber, openFailures_);
        countdown_ = task_.retryIntervalSeconds;
        if (BudgetUsedUp(openFailures_)) {
          Post(kStatusUrlNotOpened);
          openFailures_ = 0;
          countdown_ = task_.checkIntervalSeconds;
        }
        return;  // this path does not sleep: the attempt itself took its time
      case HttpProbeResult::Outcome::kAbandoned:
        return;  // the program is ending: nothing to count or report, the exit flag ends the loop
      case HttpProbeResult::Outcome::kOpened:
        break;
    }
    openFailures_ = 0;
    const ProbeStatus status = LeadingDecimal(result.statusText);
    previousStatus_ = status;
    if (IsProbeSuccess(status, result.queryOk)) {
      TraceFormat("[%d]Access Successful!  HTTP_STATUS_CODE:%d  status:%d ,Error:%d", task_.siteNumber, status,
                  status, httpFailures_);
      httpFailures_ = 0;
      Post(status);
    } else {
      TraceFormat("[%d]Access Failure!  HTTP_STATUS_CODE:%d  status:%d ,Error:%d", task_.siteNumber, status, status,
                  httpFailures_);
      ++httpFailures_;
      countdown_ = task_.retryIntervalSeconds;
      if (BudgetUsedUp(httpFailures_)) {
        Post(status);
        httpFailures_ = 0;
        countdown_ = task_.checkIntervalSeconds;
      }
    }
    env_.SleepOneTick();
  }

  // The (retry count + 1)-th consecutive failure uses up the budget. Counters restart at 0 after
  // each report, so for the offered retry counts this is the exact equality; ">=" only keeps an
  // out-of-range retry count from silencing reports for good.
  bool BudgetUsedUp(int32_t failures) const {
    return static_cast<int64_t>(failures) >= static_cast<int64_t>(task_.retryCount) + 1;
  }

  void Post(ProbeStatus status) { env_.PostReport(task_.notifyWindow, task_.siteNumber, status); }

  template <typename... Args>
  void TraceFormat(const char* format, Args... args) {
    std::snprintf(trace_, sizeof trace_, format, args...);
    env_.TraceLine(trace_);
  }

  void TraceText(U16View text) {
    const std::string ansi = env_.ToAnsi(text);
    const size_t n = ansi.size() < sizeof trace_ - 1 ? ansi.size() : sizeof trace_ - 1;
    std::memcpy(trace_, ansi.data(), n);
    trace_[n] = '\0';
    env_.TraceLine(trace_);
  }

  const SiteProbeTask& task_;
  IProbeEnvironment& env_;
  int32_t countdown_ = task_.checkIntervalSeconds;
  int32_t previousStatus_ = kStatusNetworkBack;
  int32_t openFailures_ = 0;
  int32_t httpFailures_ = 0;
  char trace_[kTraceBufferBytes] = {};
};

}  // namespace

uint32_t RunSiteProbeWorker(const SiteProbeTask& task, IProbeEnvironment& env) {
  SiteProbeWorker worker(task, env);
  return worker.Run();
}
