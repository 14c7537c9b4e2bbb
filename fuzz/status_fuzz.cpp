// Fuzzes the handling of worker reports: a run of one to four sites, each with an address (up to
// 600 units, longer than any fixed field) and a last status, receives a sequence of reports of any
// site number, status and local time. Each report is held to what must hold whatever its status:
// nothing happens for a site outside the run; at most one row, one popup and one tooltip, the
// tooltip last; a row begins with the time stamp (or is the bare "未知状态"); a popup has the
// popup title and one of the allowed durations; the tooltip names the status's text; the site's
// last status becomes the report's unless the report had no effect at all, which only a "network
// back" to a site that did not see the outage may have; a repeated "network down" and a 2xx after
// a 2xx show nothing new.
//
// Input, read through FuzzedDataProvider: the number of sites (1 to 4); per site its last status
// (int32) and url length (0 to 600 units), the url's UTF-16LE units coming off the front of the
// input; then, while 36 bytes are left, reports: site number (uint64), status (int32), year,
// month, day, hour, minute, second (int32 each).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "monitor/probe_status.h"
#include "monitor/status_handler.h"
#include "tests/support/recording_outlets.h"

namespace {

constexpr size_t kReportBytes = 36;
const U16 kTitle = u"Dorvane提示";
const U16 kTipPrefix = u"Dorvane网站监控\n状态：";

// The stamp as the C runtime's formatting prints it.
U16 Stamp(const LocalTime& t) {
  char buffer[96];
  const int n = std::snprintf(buffer, sizeof buffer, "%4d-%d-%d %02d:%02d:%02d", t.year, t.month, t.day,
                              t.hour, t.minute, t.second);
  return U16(buffer, buffer + n);
}

size_t Count(const std::vector<OutletCall>& calls, OutletCall::Kind kind) {
  return static_cast<size_t>(
      std::count_if(calls.begin(), calls.end(), [kind](const OutletCall& c) { return c.kind == kind; }));
}

bool EndsWith(const U16& text, U16View tail) {
  return text.size() >= tail.size() && U16View(text).substr(text.size() - tail.size()) == tail;
}

// What one report to a site of the run did, held to the invariants.
void CheckReport(const std::vector<OutletCall>& calls, int32_t status, int32_t lastBefore, int32_t lastAfter,
                 const LocalTime& now) {
  const U16View text = StatusText(status);
  if (calls.empty()) {
    FUZZ_REQUIRE(status == kStatusNetworkBack && lastBefore != kStatusNetworkDown);
    FUZZ_REQUIRE(lastAfter == lastBefore);
    return;
  }
  FUZZ_REQUIRE(lastAfter == status);
  FUZZ_REQUIRE(Count(calls, OutletCall::Row) <= 1 && Count(calls, OutletCall::Popup) <= 1);
  FUZZ_REQUIRE(Count(calls, OutletCall::Tip) == 1 && calls.back().kind == OutletCall::Tip);
  FUZZ_REQUIRE(calls.back().text == kTipPrefix + U16(text) && calls.back().text.size() <= 127);

  const U16 stamp = Stamp(now) + u' ';
  for (const OutletCall& c : calls) {
    if (c.kind == OutletCall::Row) {
      FUZZ_REQUIRE(c.text == u"未知状态" || (c.text.compare(0, stamp.size(), stamp) == 0 && EndsWith(c.text, text)));
    } else if (c.kind == OutletCall::Popup) {
      FUZZ_REQUIRE(c.show == 1 && c.title == kTitle && EndsWith(c.text, text));
      FUZZ_REQUIRE(c.seconds == 0 || c.seconds == 3 || c.seconds == 5 || c.seconds == 10);
    }
  }
  const bool quietRepeat = (status == kStatusNetworkDown && lastBefore == kStatusNetworkDown) ||
                           (status / 100 == 2 && lastBefore / 100 == 2);
  if (quietRepeat) FUZZ_REQUIRE(Count(calls, OutletCall::Popup) == 0);
  if (status == kStatusNetworkDown && lastBefore == kStatusNetworkDown) FUZZ_REQUIRE(calls.size() == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TaskTable tasks;
  const size_t siteCount = in.ConsumeIntegralInRange<size_t>(1, 4);
  for (size_t i = 0; i < siteCount; ++i) {
    SiteProbeTask& task = tasks.emplace_back();
    task.siteNumber = static_cast<int32_t>(i + 1);
    task.lastStatus = in.ConsumeIntegral<int32_t>();
    const size_t units = in.ConsumeIntegralInRange<size_t>(0, 600);
    task.url = Utf16LeUnits(in.ConsumeBytes<uint8_t>(2 * units));
  }

  RecordingOutlets outlets;
  while (in.remaining_bytes() >= kReportBytes) {
    const uint64_t siteNumber = in.ConsumeIntegral<uint64_t>();
    const int32_t status = in.ConsumeIntegral<int32_t>();
    LocalTime now;
    now.year = in.ConsumeIntegral<int32_t>();
    now.month = in.ConsumeIntegral<int32_t>();
    now.day = in.ConsumeIntegral<int32_t>();
    now.hour = in.ConsumeIntegral<int32_t>();
    now.minute = in.ConsumeIntegral<int32_t>();
    now.second = in.ConsumeIntegral<int32_t>();

    std::vector<int32_t> lastBefore;
    for (const SiteProbeTask& t : tasks) lastBefore.push_back(t.lastStatus);
    outlets.Clear();
    HandleSiteStatus(siteNumber, status, tasks, now, outlets);

    const bool inRun = siteNumber >= 1 && siteNumber <= tasks.size();
    if (!inRun) FUZZ_REQUIRE(outlets.calls.empty());
    for (size_t i = 0; i < tasks.size(); ++i) {
      if (inRun && i == siteNumber - 1) {
        CheckReport(outlets.calls, status, lastBefore[i], tasks[i].lastStatus, now);
      } else {
        FUZZ_REQUIRE(tasks[i].lastStatus == lastBefore[i]);
      }
    }
  }
  return 0;
}
