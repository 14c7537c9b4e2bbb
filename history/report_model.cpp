#include "history/report_model.h"

#include <algorithm>

#include "history/history_row.h"
#include "history/history_scan.h"

namespace {

constexpr int kPageDays = 90;

PageOutage PageOutageOf(const ScanOutage& outage) {
  return {outage.start, outage.end, outage.seconds, U16FromUtf8(outage.failureText)};
}

}  // namespace

std::optional<int64_t> TimeSplit::UpHundredthsOfPercent() const {
  const int64_t counted = upSeconds + downSeconds;
  if (counted <= 0) return std::nullopt;
  return (upSeconds * 10000 * 2 + counted) / (counted * 2);  // rounded to the nearest
}

ReportPageModel BuildReportPageModel(const IDayFiles& files, const ReportClock& now) {
  const DayDate today = LocalDateOf(now.utcSeconds, now.zoneMinutes);
  auto dayStart = [&](int days) { return MidnightUtc(DateOfDayNumber(DayNumber(today) - (days - 1)), now.zoneMinutes); };
  ScanPlan plan;
  plan.now = now;
  // The 90 days first: they decide which sites and outages the page lists.
  plan.windows = {{dayStart(kPageDays), now.utcSeconds},
                  {now.utcSeconds - 86400, now.utcSeconds},
                  {dayStart(7), now.utcSeconds},
                  {dayStart(30), now.utcSeconds}};
  plan.daysFromUtc = dayStart(kPageDays);
  plan.dayCount = kPageDays;
  const HistoryScan scan = ScanHistory(files, plan);

  ReportPageModel model;
  model.generatedAt = LocalTimeOfSeconds(now.utcSeconds + int64_t{now.zoneMinutes} * 60);
  model.daysAsked = kPageDays;
  const DayDate firstDay = DateOfDayNumber(DayNumber(today) - (kPageDays - 1));
  if (scan.oldestDay && DayNumber(*scan.oldestDay) > DayNumber(firstDay))
    model.historyFrom = LocalTime{scan.oldestDay->year, scan.oldestDay->month, scan.oldestDay->day, 0, 0, 0};
  model.periodSeconds = std::max<int64_t>(0, now.utcSeconds - plan.windows[0].fromUtc);
  model.watchedSeconds = scan.watchedWindows[0];
  for (size_t i = 0; i < scan.sites.size(); ++i) {
    const ScanSite& site = scan.sites[i];
    PageSite page;
    page.address = U16FromUtf8(site.address);
    page.last90Days = site.windows[0];
    page.last24Hours = site.windows[1];
    page.last7Days = site.windows[2];
    page.last30Days = site.windows[3];
    for (int d = 0; d < kPageDays; ++d) {
      const DayDate date = DateOfDayNumber(DayNumber(firstDay) + d);
      page.days.push_back({date.year, date.month, date.day, site.days[static_cast<size_t>(d)]});
    }
    for (auto outage = scan.outages.rbegin(); outage != scan.outages.rend(); ++outage) {
      if (outage->site == i) page.outages.push_back(PageOutageOf(*outage));
    }
    page.latestStatus = U16FromUtf8(site.latestStatus);
    model.sites.push_back(std::move(page));
  }
  for (auto outage = scan.network.rbegin(); outage != scan.network.rend(); ++outage) {
    const int64_t zone = int64_t{outage->zoneMinutes} * 60;
    PageNetworkOutage page;
    page.start = LocalTimeOfSeconds(outage->startUtc + zone);
    if (!outage->open) page.end = LocalTimeOfSeconds(outage->startUtc + outage->seconds + zone);
    page.seconds = outage->seconds;
    model.networkOutages.push_back(page);
  }
  return model;
}
