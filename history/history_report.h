#pragma once
// How reliable each site was: the history's rows read back into up time, down time and outages.
//
// A run goes from "监控开始运行" to "监控停止!", or to its last row when it ended without its
// stop rows (the next start, or the end of the history). Within a run a site is in the state its
// last site row says (up, down or not known) until its next site row or the run's end. Only up
// and down time counts, and none of it while the local network is down (from a network-down row
// to the next network-restored row). An outage is a stretch of down time, from its first failure
// row to the row that ends it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/log_time.h"
#include "base/utf16.h"
#include "history/day_file.h"

struct DayFileText {
  DayDate date;
  std::string bytes;
};

struct Outage {
  U16 address;
  LocalTime start;                // the first failure row
  std::optional<LocalTime> end;   // nullopt: still going at the end of the history
  int64_t seconds = 0;            // down time within the period
  U16 failureText;
};

struct SiteFigures {
  U16 address;
  int64_t upSeconds = 0;
  int64_t downSeconds = 0;
  int outages = 0;
  int64_t longestOutageSeconds = 0;
  U16 latestStatus;
  // Up time in hundredths of a percent; nullopt when no time counted.
  std::optional<int64_t> UpHundredthsOfPercent() const;
};

struct HistoryReport {
  std::vector<SiteFigures> sites;  // in the order they first show in the period
  std::vector<Outage> outages;     // in time order
};

// Reads the day files in date order. Only time from periodStart (seconds as SecondsOf counts
// them) counts, and only sites with site rows from then are listed; earlier days give the state
// at its start.
HistoryReport BuildHistoryReport(const std::vector<DayFileText>& days, int64_t periodStart);

// Whether a day file holds a row that begins or ends a run: reading back from the period's
// first day stops at such a file.
bool HoldsRunBoundary(std::string_view bytes);

// The report as the console prints it (UTF-8, lines ending in CR LF), and as CSV with a header.
std::string HistoryReportText(const HistoryReport& report, int days, const DayDate& firstDay);
std::string HistoryReportCsv(const HistoryReport& report);
