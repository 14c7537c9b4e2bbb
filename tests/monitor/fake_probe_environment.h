#pragma once
// A probe environment on a fake clock: each tick's sleep advances the clock by one second, and a
// probe may take time of its own. Everything the worker does is recorded with the time it did it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "monitor/probe_worker.h"
#include "monitor/run_flags.h"

struct TimedReport {
  int64_t time;
  int32_t siteNumber;
  ProbeStatus status;
  bool operator==(const TimedReport&) const = default;
};

class FakeProbeEnvironment final : public IProbeEnvironment {
 public:
  // The answer of the n-th probe (0-based) at the given time.
  std::function<HttpProbeResult(int index, int64_t now)> probe = [](int, int64_t) { return Answer(200); };
  // Whether the network is up at the given time.
  std::function<bool(int64_t now)> networkUp = [](int64_t) { return true; };
  // Called after every tick's sleep (raise flags here).
  std::function<void(int64_t now)> afterSleep = [](int64_t) {};
  int64_t probeDuration = 0;  // seconds each probe takes
  int64_t stopAt = -1;        // raise the stop flag once the clock reaches this time
  int64_t safetyLimit = 100000;

  int64_t now = 0;
  std::vector<int64_t> probeTimes;
  std::vector<int64_t> networkAskTimes;
  std::vector<TimedReport> posted;
  std::vector<TimedReport> sent;
  std::vector<std::string> traces;
  void* lastWindow = nullptr;
  bool ranIntoSafetyLimit = false;

  static HttpProbeResult Answer(int code) {
    HttpProbeResult r;
    r.outcome = HttpProbeResult::Outcome::kOpened;
    r.queryOk = true;
    r.statusText = U16Decimal(code);
    return r;
  }
  static HttpProbeResult AnswerText(U16 text, bool queryOk) {
    HttpProbeResult r;
    r.outcome = HttpProbeResult::Outcome::kOpened;
    r.queryOk = queryOk;
    r.statusText = std::move(text);
    return r;
  }
  static HttpProbeResult Unreachable() {
    HttpProbeResult r;
    r.outcome = HttpProbeResult::Outcome::kUrlNotOpened;
    return r;
  }
  static HttpProbeResult NoInternetHandle() {
    HttpProbeResult r;
    r.outcome = HttpProbeResult::Outcome::kNoInternetHandle;
    return r;
  }

  std::vector<ProbeStatus> PostedStatuses() const {
    std::vector<ProbeStatus> out;
    for (const auto& r : posted) out.push_back(r.status);
    return out;
  }
  std::vector<int64_t> PostTimes() const {
    std::vector<int64_t> out;
    for (const auto& r : posted) out.push_back(r.time);
    return out;
  }

  bool NetworkAlive() override {
    networkAskTimes.push_back(now);
    if (networkAskTimes.size() > 4 * static_cast<size_t>(safetyLimit)) {  // a loop that stopped ticking
      ranIntoSafetyLimit = true;
      SetExitRequested(1);
      SetStopRequested(1);
    }
    return networkUp(now);
  }
  HttpProbeResult ProbeUrl(const char16_t* url) override {
    probedUrl = url;
    probeTimes.push_back(now);
    HttpProbeResult r = probe(static_cast<int>(probeTimes.size()) - 1, now);
    now += probeDuration;
    return r;
  }
  void SleepOneTick() override {
    ++now;
    if (stopAt >= 0 && now >= stopAt) SetStopRequested(1);
    if (now > safetyLimit) {
      ranIntoSafetyLimit = true;
      SetExitRequested(1);
      SetStopRequested(1);
    }
    afterSleep(now);
  }
  void PostReport(void* window, int32_t siteNumber, ProbeStatus status) override {
    lastWindow = window;
    posted.push_back({now, siteNumber, status});
  }
  void SendFinalReport(void* window, int32_t siteNumber, ProbeStatus status) override {
    lastWindow = window;
    sent.push_back({now, siteNumber, status});
  }
  std::string ToAnsi(U16View text) override { return Utf8FromU16(text); }
  void TraceLine(const char* line) override { traces.emplace_back(line); }

  U16 probedUrl;
};
