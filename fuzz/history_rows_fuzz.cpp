// Fuzzes reading the history back: any bytes as up to three day files, split into rows, each row
// read by its stamp and status text, and the report built and printed. Besides never crashing,
// for every listed site the figures agree: its outages' lengths add up to its down time, the
// longest is one of them, the up time is a percentage, and the CSV has one line per site.
//
// Input, read through FuzzedDataProvider: the number of files (1 to 3), the period's start in
// days after 2026-12-01 (0 to 3); then each file's bytes (a length-prefixed run of bytes, the
// last file the rest).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "history/history_report.h"
#include "history/history_row.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int files = in.ConsumeIntegralInRange<int>(1, 3);
  const int64_t firstDay = DayNumber({2026, 12, 1});
  const int64_t periodStart = (firstDay + in.ConsumeIntegralInRange<int>(0, 3)) * 86400;
  std::vector<DayFileText> days;
  for (int i = 0; i < files; ++i) {
    std::string bytes = i + 1 < files ? in.ConsumeRandomLengthString() : in.ConsumeRemainingBytesAsString();
    days.push_back({DateOfDayNumber(firstDay + i), std::move(bytes)});
  }

  for (const DayFileText& day : days) {
    for (std::string_view line : DayFileLines(day.bytes)) {
      FUZZ_REQUIRE(line.find('\n') == std::string_view::npos);
      if (const auto row = ReadHistoryRow(line)) {
        FUZZ_REQUIRE(IsValidDate({row->time.year, row->time.month, row->time.day}));
        FUZZ_REQUIRE((row->kind == HistoryRow::Site) == !row->statusText.empty());
      }
    }
  }

  const HistoryReport report = BuildHistoryReport(days, periodStart);
  for (const SiteFigures& site : report.sites) {
    FUZZ_REQUIRE(site.upSeconds >= 0 && site.downSeconds >= 0 && !site.latestStatus.empty());
    if (const auto hundredths = site.UpHundredthsOfPercent()) FUZZ_REQUIRE(*hundredths >= 0 && *hundredths <= 10000);
    int64_t outageSeconds = 0;
    int outages = 0;
    bool longestFound = site.outages == 0 && site.longestOutageSeconds == 0;
    for (const Outage& outage : report.outages) {
      if (outage.address != site.address) continue;
      ++outages;
      outageSeconds += outage.seconds;
      longestFound = longestFound || outage.seconds == site.longestOutageSeconds;
    }
    FUZZ_REQUIRE(outages == site.outages && longestFound);
    FUZZ_REQUIRE(outageSeconds == site.downSeconds);
  }
  const std::string csv = HistoryReportCsv(report);
  size_t lines = 0;
  for (size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  FUZZ_REQUIRE(lines >= report.sites.size() + 1);  // an address may itself hold a line break
  FUZZ_REQUIRE(!HistoryReportText(report, 7, DateOfDayNumber(firstDay)).empty());
  return 0;
}
