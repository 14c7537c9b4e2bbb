#pragma once
// The availability page ("可用率报告"): what it shows, filled from the history by the report, and
// the one standalone HTML file it becomes (no script or font from the network; opens from disk).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/log_time.h"
#include "base/utf16.h"

// Seconds of one stretch of time by what was known of the site in it.
struct TimeSplit {
  int64_t upSeconds = 0;
  int64_t downSeconds = 0;
  int64_t notKnownSeconds = 0;  // watched, but no answer that says up or down
  int64_t watchedSeconds = 0;   // the three above together, network outages excluded
  // Up time in hundredths of a percent of up and down time; nullopt when neither counted.
  std::optional<int64_t> UpHundredthsOfPercent() const;
};

struct PageDay {
  int year = 0, month = 0, day = 0;
  TimeSplit time;  // watchedSeconds 0: not watched that day (a grey cell)
};

struct PageOutage {
  LocalTime start;
  std::optional<LocalTime> end;  // nullopt: still down at the end of the history
  int64_t seconds = 0;
  U16 failureText;
};

struct PageSite {
  U16 address;
  TimeSplit last24Hours, last7Days, last30Days, last90Days;
  std::vector<PageDay> days;  // oldest first, one per day of the period, watched or not
  std::vector<PageOutage> outages;  // newest first
  U16 latestStatus;
};

struct PageNetworkOutage {
  LocalTime start;
  std::optional<LocalTime> end;
  int64_t seconds = 0;
};

struct ReportPageModel {
  LocalTime generatedAt;
  int daysAsked = 90;
  // The first day the history still holds, when retention kept less than was asked.
  std::optional<LocalTime> historyFrom;
  int64_t periodSeconds = 0;   // the period the page covers
  int64_t watchedSeconds = 0;  // of it, time any run of either program was watching
  std::vector<PageSite> sites;  // in the order they first show
  std::vector<PageNetworkOutage> networkOutages;  // newest first
};

// The page as UTF-8 bytes.
std::string RenderReportPage(const ReportPageModel& model);
