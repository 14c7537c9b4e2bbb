// Fuzzes the probe worker with what the network and the server hand it: the network's state on
// every pass, the outcome of every probe and the status text of every answer (any UTF-16 units,
// up to the 25 characters of the status buffer), under any settings, out-of-range ones included.
// Everything the worker does is recorded as one sequence of events and compared with a separate
// step-by-step rendering of the loop: network questions, probes, sleeps, reports, the final
// report and the trace lines.
//
// Input, read through FuzzedDataProvider: a mode byte (bit 0: settings as raw int32 values, else
// small ones of one byte each; bit 1: the exit flag ends the run, else the stop flag; bit 2: exit
// raised before the worker starts), the site number (int32) and the settings. The bytes left are
// the script of answers: per pass one network byte (bit 0: up) and, per probe, one outcome byte
// (bits 0-1: 1 address not opened, 2 no internet handle, else answered; bit 2: status query
// succeeded) and a length (0 to 25), these coming off the script's end, and that many UTF-16LE
// units of status text off its front. When the script runs out the worker is told to end.
#include <fuzzer/FuzzedDataProvider.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "monitor/probe_worker.h"
#include "monitor/run_flags.h"

namespace {

constexpr size_t kStatusTextUnits = 25;  // 50 bytes of the status buffer
constexpr size_t kTraceBytes = 260;

struct Header {
  bool endByExit = false;
  bool exitAtStart = false;
  int32_t siteNumber = 0;
  int32_t checkInterval = 0;
  int32_t retryCount = 0;
  int32_t retryInterval = 0;
};

Header ReadHeader(FuzzedDataProvider& in) {
  Header h;
  const uint8_t mode = in.ConsumeIntegral<uint8_t>();
  h.endByExit = mode & 2;
  h.exitAtStart = mode & 4;
  h.siteNumber = in.ConsumeIntegral<int32_t>();
  if (mode & 1) {
    h.checkInterval = in.ConsumeIntegral<int32_t>();
    h.retryCount = in.ConsumeIntegral<int32_t>();
    h.retryInterval = in.ConsumeIntegral<int32_t>();
  } else {
    h.checkInterval = in.ConsumeIntegralInRange<int32_t>(1, 8);
    h.retryCount = in.ConsumeIntegralInRange<int32_t>(0, 4);  // 0 and 4 lie outside the offered 1 to 3
    h.retryInterval = in.ConsumeIntegralInRange<int32_t>(1, 8);
  }
  return h;
}

// The environment's answers, read from the script in the order they are asked for; the worker
// and the step-by-step rendering each read their own.
class Answers {
 public:
  explicit Answers(const std::vector<uint8_t>& script) : in_(script.data(), script.size()) {}
  // nullopt once the script has run out: the run is to end.
  std::optional<bool> NetworkUp() {
    if (in_.remaining_bytes() == 0) return std::nullopt;
    return in_.ConsumeBool();
  }
  HttpProbeResult Probe() {
    HttpProbeResult r;
    const uint8_t outcome = in_.ConsumeIntegral<uint8_t>();
    r.outcome = (outcome & 3) == 1   ? HttpProbeResult::Outcome::kUrlNotOpened
                : (outcome & 3) == 2 ? HttpProbeResult::Outcome::kNoInternetHandle
                                     : HttpProbeResult::Outcome::kOpened;
    if (r.outcome != HttpProbeResult::Outcome::kOpened) return r;
    r.queryOk = outcome & 4;
    const size_t units = in_.ConsumeIntegralInRange<size_t>(0, kStatusTextUnits);
    r.statusText = Utf16LeUnits(in_.ConsumeBytes<uint8_t>(2 * units));
    return r;
  }

 private:
  FuzzedDataProvider in_;
};

std::string Event(const char* kind, int64_t value) { return std::string(kind) + std::to_string(value); }

class RecordingEnvironment : public IProbeEnvironment {
 public:
  RecordingEnvironment(const std::vector<uint8_t>& script, bool endByExit)
      : answers_(script), endByExit_(endByExit) {}
  bool NetworkAlive() override {
    events.push_back("N");
    const std::optional<bool> up = answers_.NetworkUp();
    if (up) return *up;
    if (endByExit_) SetExitRequested(1);
    else SetStopRequested(1);
    return true;
  }
  HttpProbeResult ProbeUrl(const char16_t* url) override {
    FUZZ_REQUIRE(url == expectedUrl);
    events.push_back("P");
    return answers_.Probe();
  }
  void SleepOneTick() override { events.push_back("S"); }
  void PostReport(void* window, int32_t siteNumber, ProbeStatus status) override {
    FUZZ_REQUIRE(window == expectedWindow && siteNumber == expectedSite);
    events.push_back(Event("R", status));
  }
  void SendFinalReport(void* window, int32_t siteNumber, ProbeStatus status) override {
    FUZZ_REQUIRE(window == expectedWindow && siteNumber == expectedSite);
    events.push_back(Event("F", status));
  }
  std::string ToAnsi(U16View text) override { return Utf8FromU16(text); }
  void TraceLine(const char* line) override {
    FUZZ_REQUIRE(std::memchr(line, 0, kTraceBytes) != nullptr);  // terminated inside the buffer
    events.push_back("T" + std::string(line));
  }

  std::vector<std::string> events;
  const char16_t* expectedUrl = nullptr;
  void* expectedWindow = nullptr;
  int32_t expectedSite = 0;

 private:
  Answers answers_;
  bool endByExit_;
};

// The C runtime's leading-digits conversion, saturated to 32 bits.
int32_t ExpectedStatus(const U16& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '\x01');
  const long long v = std::strtoll(narrow.c_str(), nullptr, 10);
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

std::string Formatted(const char* format, int32_t a, int32_t b, int32_t c = 0, int32_t d = 0) {
  char line[kTraceBytes];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

// The worker loop, step by step, over the same answers.
std::vector<std::string> ExpectedEvents(const Header& h, const std::vector<uint8_t>& script) {
  Answers answers(script);
  std::vector<std::string> ev;
  auto trace = [&](const std::string& line) { ev.push_back("T" + line.substr(0, kTraceBytes - 1)); };
  bool stop = false, exit = h.exitAtStart;
  if (!exit) {
    int32_t countdown = h.checkInterval, previous = 11, openFailures = 0, httpFailures = 0;
    const int64_t budget = static_cast<int64_t>(h.retryCount) + 1;
    while (!stop) {
      ev.push_back("N");
      std::optional<bool> up = answers.NetworkUp();
      if (!up) {
        (h.endByExit ? exit : stop) = true;
        up = true;
      }
      if (!*up) {
        ev.push_back("R10");
        previous = 10;
        trace("网络不通");
        ev.push_back("S");
      } else {
        if (previous == 10) {
          ev.push_back("R11");
          trace("网络恢复正常");
        }
        previous = 11;
        if (countdown != std::numeric_limits<int32_t>::min()) --countdown;
        if (countdown > 0) {
          ev.push_back("S");
        } else {
          countdown = h.checkInterval;
          ev.push_back("P");
          const HttpProbeResult r = answers.Probe();
          if (r.outcome == HttpProbeResult::Outcome::kNoInternetHandle) {
            previous = 21;
            trace(Formatted("[%d]InternetOpen fail!status:%d", h.siteNumber, 21));
            ev.push_back("S");
          } else if (r.outcome == HttpProbeResult::Outcome::kUrlNotOpened) {
            ++openFailures;
            previous = 22;
            trace(Formatted("[%d]InternetOpenUrl fail!status:%d", h.siteNumber, openFailures));
            countdown = h.retryInterval;
            if (openFailures >= budget) {
              ev.push_back("R22");
              openFailures = 0;
              countdown = h.checkInterval;
            }
          } else {
            openFailures = 0;
            const int32_t status = ExpectedStatus(r.statusText);
            previous = status;
            const int32_t statusClass = status / 100;
            const bool success = status != 0 && (statusClass == 2 || statusClass == 3 ||
                                                 (statusClass != 4 && statusClass != 5 && r.queryOk));
            if (success) {
              trace(Formatted("[%d]Access Successful!  HTTP_STATUS_CODE:%d  status:%d ,Error:%d", h.siteNumber,
                              status, status, httpFailures));
              httpFailures = 0;
              ev.push_back(Event("R", status));
            } else {
              trace(Formatted("[%d]Access Failure!  HTTP_STATUS_CODE:%d  status:%d ,Error:%d", h.siteNumber,
                              status, status, httpFailures));
              ++httpFailures;
              countdown = h.retryInterval;
              if (httpFailures >= budget) {
                ev.push_back(Event("R", status));
                httpFailures = 0;
                countdown = h.checkInterval;
              }
            }
            ev.push_back("S");
          }
        }
      }
      if (exit) break;
    }
  }
  trace("线程退出");
  ev.push_back("F9");
  return ev;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const Header h = ReadHeader(in);
  const std::vector<uint8_t> script = in.ConsumeRemainingBytes<uint8_t>();

  SiteProbeTask task;
  task.siteNumber = h.siteNumber;
  task.checkIntervalSeconds = h.checkInterval;
  task.retryCount = h.retryCount;
  task.retryIntervalSeconds = h.retryInterval;
  task.lastStatus = 200;
  int window = 0;
  task.notifyWindow = &window;
  task.url = u"http://127.0.0.1:8080/";

  RecordingEnvironment env(script, h.endByExit);
  env.expectedUrl = task.url.c_str();
  env.expectedWindow = &window;
  env.expectedSite = h.siteNumber;

  SetStopRequested(0);
  SetExitRequested(h.exitAtStart ? 1 : 0);
  const uint32_t result = RunSiteProbeWorker(task, env);
  SetStopRequested(0);
  SetExitRequested(0);

  FUZZ_REQUIRE(result == 0);
  FUZZ_REQUIRE(!env.events.empty() && env.events.back() == "F9");
  const std::vector<std::string> expected = ExpectedEvents(h, script);
  FUZZ_REQUIRE(env.events == expected);
  // The worker never writes its record.
  FUZZ_REQUIRE(task.siteNumber == h.siteNumber && task.lastStatus == 200 && task.threadHandle == nullptr);
  return 0;
}
