#pragma once
// The text report of how reliable each site was (`--report`): one pass over the day files by the
// report's rules (docs/history.md), printed in Chinese, or as CSV for tools.
#include <cstdint>
#include <optional>
#include <string>

#include "history/history_scan.h"

struct HistoryReport {
  int days = 7;
  DayDate firstDay;
  std::optional<DayDate> historyFrom;  // the oldest day file, when later than firstDay
  HistoryScan scan;                    // one window: the period
};

// The period: today and the days-1 days before it, from local midnight of its first day to now.
HistoryReport BuildHistoryReport(const IDayFiles& files, const ReportClock& now, int days);

// Per site: its outages within the period, and the longest of them.
struct SiteOutages {
  int count = 0;
  int64_t longestSeconds = 0;
};
SiteOutages OutagesOf(const HistoryScan& scan, size_t site);

// "H:MM:SS", the hours as many as it takes; and up time as "99.50" or "-".
std::string DurationText(int64_t seconds);
std::string PercentText(const TimeSplit& time);

// UTF-8, lines ending in CR LF.
std::string HistoryReportText(const HistoryReport& report);
std::string HistoryReportCsv(const HistoryReport& report);
