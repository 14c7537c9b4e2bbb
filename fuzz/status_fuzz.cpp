// Fuzzes the handling of worker reports: a run of one to four sites, each with a url field (up to
// the full 260 units with no terminator) and a last status, receives a sequence of reports of any
// site number, status and local time. Every report's outlet calls are compared with a separate
// rendering of the rules; besides, every row starts with the time stamp or is a bare status
// text, every tooltip is "Dorvane网站监控\n状态：<text>" and nothing happens for a site outside
// the run.
//
// Input, read through FuzzedDataProvider: the number of sites (1 to 4); per site its last status
// (int32) and url length (0 to 260 units), the url's UTF-16LE units coming off the front of the
// input; then, while 36 bytes are left, reports: site number (uint64), status (int32), year,
// month, day, hour, minute, second (int32 each).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "monitor/status_handler.h"
#include "tests/support/recording_outlets.h"

namespace {

constexpr size_t kReportBytes = 36;
const U16 kTitle = u"Dorvane提示";
const U16 kTipPrefix = u"Dorvane网站监控\n状态：";

const char16_t* const kStatusTexts[] = {
    u"临时响应", u"访问正常", u"当前网页300跳转", u"网页不存在", u"网站服务器，内部发生错误500",
    u"http未知状态", u"线程退出", u"本机网络断线，请检查网线是否插好", u"本机网络恢复正常",
    u"本地网络始初化失败", u"不能访问网站，可能本机不能上网，或网站故障", u"未知状态",
};

U16 ExpectedText(int32_t s) {
  if (s >= 600) return kStatusTexts[5];
  if (s >= 100) return kStatusTexts[s / 100 - 1];
  switch (s) {
    case 9: return kStatusTexts[6];
    case 10: return kStatusTexts[7];
    case 11: return kStatusTexts[8];
    case 21: return kStatusTexts[9];
    case 22: return kStatusTexts[10];
    default: return kStatusTexts[11];
  }
}

bool IsStatusText(U16View text) {
  for (const char16_t* t : kStatusTexts)
    if (text == t) return true;
  return false;
}

// The stamp as the C runtime's formatting prints it.
U16 ExpectedStamp(const LocalTime& t) {
  char buffer[96];
  const int n = std::snprintf(buffer, sizeof buffer, "%4d-%d-%d %02d:%02d:%02d", t.year, t.month, t.day,
                              t.hour, t.minute, t.second);
  return U16(buffer, buffer + n);
}

U16 UrlField(const SiteProbeTask& task) { return task.url; }

OutletCall Row(U16 text) { return {OutletCall::Row, 0, 0, std::move(text), {}}; }
OutletCall Popup(int seconds, U16 text) { return {OutletCall::Popup, 1, seconds, std::move(text), kTitle}; }
OutletCall Tip(const U16& text) { return {OutletCall::Tip, 0, 0, kTipPrefix + text, {}}; }

// What one report must do to the outlets, and the site's last status afterwards.
std::vector<OutletCall> ExpectedCalls(const SiteProbeTask& task, uint64_t siteNumber, int32_t s,
                                      const LocalTime& now, int32_t& lastStatus) {
  const U16 text = ExpectedText(s);
  const U16 stamp = ExpectedStamp(now);
  const U16 siteRow = stamp + u" " + UrlField(task) + u" " + text;
  const U16 networkRow = stamp + u" " + text;
  std::vector<OutletCall> calls;
  const int32_t last = task.lastStatus;
  if (s >= 100 && s <= 199) {
    calls = {Row(siteRow)};
  } else if (s >= 200 && s <= 299) {
    calls = {Row(siteRow)};
    if (last / 100 != 2) calls.push_back(Popup(3, siteRow));
  } else if (s >= 300 && s <= 599) {
    calls = {Row(siteRow), Popup(10, siteRow)};
  } else if (s >= 600 || s == 21) {
    calls = {Row(siteRow)};
  } else if (s == 22) {
    calls = {Row(siteRow), Popup(0, siteRow)};
  } else if (s == 9) {
    calls = {Row(stamp + u" [" + U16FromUtf8(std::to_string(siteNumber)) + u"]" + text)};
  } else if (s == 10) {
    if (last != 10) calls = {Row(networkRow), Popup(0, text)};
  } else if (s == 11) {
    if (last != 10) {
      lastStatus = last;
      return {};
    }
    calls = {Popup(5, text), Row(networkRow)};
  } else {
    calls = {Row(text)};
  }
  calls.push_back(Tip(text));
  lastStatus = s;
  return calls;
}

void CheckShapes(const std::vector<OutletCall>& calls, const U16& stamp) {
  for (const OutletCall& c : calls) {
    switch (c.kind) {
      case OutletCall::Row:
        FUZZ_REQUIRE(IsStatusText(c.text) || (c.text.compare(0, stamp.size(), stamp) == 0 &&
                                               c.text.size() > stamp.size() + 1 &&
                                               (c.text[stamp.size()] == u' ')));
        break;
      case OutletCall::Popup:
        FUZZ_REQUIRE(c.show == 1 && c.title == kTitle && !c.text.empty());
        FUZZ_REQUIRE(c.seconds == 0 || c.seconds == 3 || c.seconds == 5 || c.seconds == 10);
        break;
      case OutletCall::Tip:
        FUZZ_REQUIRE(c.text.size() <= 127);
        FUZZ_REQUIRE(c.text.compare(0, kTipPrefix.size(), kTipPrefix) == 0);
        FUZZ_REQUIRE(IsStatusText(U16View(c.text).substr(kTipPrefix.size())));
        break;
    }
  }
  // The tooltip, when set, comes last.
  for (size_t i = 0; i + 1 < calls.size(); ++i) FUZZ_REQUIRE(calls[i].kind != OutletCall::Tip);
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
    std::vector<OutletCall> expected;
    int32_t expectedLast = 0;
    const bool inRun = siteNumber >= 1 && siteNumber <= tasks.size();
    if (inRun) expected = ExpectedCalls(tasks[siteNumber - 1], siteNumber, status, now, expectedLast);

    outlets.Clear();
    HandleSiteStatus(siteNumber, status, tasks, now, outlets);

    CheckShapes(outlets.calls, ExpectedStamp(now));
    FUZZ_REQUIRE(outlets.calls == expected);
    for (size_t i = 0; i < tasks.size(); ++i) {
      const bool reported = inRun && i == siteNumber - 1;
      FUZZ_REQUIRE(tasks[i].lastStatus == (reported ? expectedLast : lastBefore[i]));
    }
  }
  return 0;
}
