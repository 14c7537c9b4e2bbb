// Fuzzes reading the history back: any bytes as up to three day files (rows of the earlier format,
// lines with their run's facts, carried lines), streamed in pieces, each line split and read, and
// the report and the page's model built and printed. Besides never crashing, for every listed site
// the figures agree: its outages' lengths add up to its down time, the longest is one of them, its
// up, down and not-known time make its watched time, the up time is a percentage, and the CSV has
// one line per site.
//
// Input, read through FuzzedDataProvider: the number of files (1 to 3), the period's first day
// (0 to 3 days after 2026-12-01, the report made at the end of 2026-12-04); then each file's bytes
// (a length-prefixed run of bytes, the last file the rest).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "history/history_report.h"
#include "history/history_row.h"
#include "history/report_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int files = in.ConsumeIntegralInRange<int>(1, 3);
  const int days = 4 - in.ConsumeIntegralInRange<int>(0, 3);
  const int64_t firstDay = DayNumber({2026, 12, 1});
  std::vector<DayFileText> texts;
  for (int i = 0; i < files; ++i) {
    std::string bytes = i + 1 < files ? in.ConsumeRandomLengthString() : in.ConsumeRemainingBytesAsString();
    texts.push_back({DateOfDayNumber(firstDay + i), std::move(bytes)});
  }
  for (const DayFileText& text : texts) {
    for (size_t at = 0, end; at < text.bytes.size(); at = end + 1) {
      end = text.bytes.find('\n', at);
      if (end == std::string::npos) end = text.bytes.size();
      const HistoryLine line = SplitHistoryLine(std::string_view(text.bytes).substr(at, end - at));
      const HistoryRow row = ReadHistoryRow(line.row);
      if (row.stamp) FUZZ_REQUIRE(IsValidDate({row.stamp->year, row.stamp->month, row.stamp->day}));
      if (row.kind == HistoryRow::Site) FUZZ_REQUIRE(!row.statusText.empty() && row.stamp);
    }
  }
  const MemoryDayFiles source(std::move(texts));
  const ReportClock now{(firstDay + 4) * 86400 - 8 * 3600 - 1, 8 * 60};
  const HistoryReport report = BuildHistoryReport(source, now, days);
  const HistoryScan& scan = report.scan;
  for (size_t i = 0; i < scan.sites.size(); ++i) {
    const TimeSplit& time = scan.sites[i].windows.front();
    FUZZ_REQUIRE(time.upSeconds >= 0 && time.downSeconds >= 0 && time.notKnownSeconds >= 0);
    FUZZ_REQUIRE(time.upSeconds + time.downSeconds + time.notKnownSeconds == time.watchedSeconds);
    if (const auto hundredths = time.UpHundredthsOfPercent()) FUZZ_REQUIRE(*hundredths >= 0 && *hundredths <= 10000);
    int64_t outageSeconds = 0;
    const SiteOutages outages = OutagesOf(scan, i);
    bool longestFound = outages.count == 0 && outages.longestSeconds == 0;
    for (const ScanOutage& outage : scan.outages) {
      if (outage.site != i) continue;
      outageSeconds += outage.seconds;
      longestFound = longestFound || outage.seconds == outages.longestSeconds;
    }
    FUZZ_REQUIRE(longestFound);
    FUZZ_REQUIRE(outageSeconds == time.downSeconds);
  }
  const std::string csv = HistoryReportCsv(report);
  size_t lines = 0;
  for (size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  FUZZ_REQUIRE(lines >= scan.sites.size() + 1);  // an address may itself hold a line break
  FUZZ_REQUIRE(!HistoryReportText(report).empty());
  const ReportPageModel model = BuildReportPageModel(source, now);
  for (const PageSite& site : model.sites) FUZZ_REQUIRE(site.days.size() == 90);
  return 0;
}
