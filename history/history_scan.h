#pragma once
// The one pass over the day files that every report makes (docs/history.md, "The report's rules"):
// each file streamed line by line, each run read on its own by its seconds counter, and the
// stretches of up, down and not-known time added into the windows and days asked for. Neither a
// file nor its rows are held: only each run's present state and the figures.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history_source.h"
#include "history/report_page.h"

struct ScanWindow {
  int64_t fromUtc = 0;
  int64_t toUtc = 0;
};

struct ScanPlan {
  ReportClock now;
  // windows[0] decides which sites and outages are listed, and the outages' seconds.
  std::vector<ScanWindow> windows;
  int64_t daysFromUtc = 0;  // the first day cell's start; each cell 86 400 s
  int dayCount = 0;
};

struct ScanOutage {
  size_t site = 0;
  LocalTime start;                 // as the failure row's stamp says
  std::optional<LocalTime> end;    // nullopt: still down at the end of the history
  int64_t startUtc = 0;
  int64_t seconds = 0;             // down time within windows[0]
  std::string failureText;         // UTF-8
};

struct ScanNetworkOutage {
  int64_t startUtc = 0;
  int64_t seconds = 0;
  int zoneMinutes = 0;
  bool open = false;  // still down at the end of the history
};

struct ScanSite {
  std::string address;  // UTF-8
  std::vector<TimeSplit> windows;
  std::vector<TimeSplit> days;
  std::string latestStatus;
  int64_t latestUtc = 0;
};

struct HistoryScan {
  std::vector<ScanSite> sites;                 // listed sites, in the order they first show
  std::vector<ScanOutage> outages;             // overlapping windows[0], in start order
  std::vector<ScanNetworkOutage> network;      // overlapping windows[0], merged across runs, in order
  std::vector<int64_t> watchedWindows;         // time any run was watching, per window
  std::vector<int64_t> watchedDays;
  std::optional<DayDate> oldestDay;            // of the day files present
};

// Reads the day files dated from the day before windows[0] begins to the day after now (local).
HistoryScan ScanHistory(const IDayFiles& files, const ScanPlan& plan);

// The local date a UTC second falls on in a zone.
DayDate LocalDateOf(int64_t utc, int zoneMinutes);
// The UTC second local midnight of a date begins at in a zone.
int64_t MidnightUtc(const DayDate& date, int zoneMinutes);
