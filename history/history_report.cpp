#include "history/history_report.h"

#include <algorithm>
#include <cstdio>

#include "base/log_time.h"
#include "history/history_row.h"

namespace {

std::string DateText(const DayDate& date) {
  char text[24];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

std::string Stamp(const LocalTime& t) { return Utf8FromU16(FormatLogTime(t)); }

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string CsvField(const std::string& utf8) {
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

HistoryReport BuildHistoryReport(const IDayFiles& files, const ReportClock& now, int days) {
  HistoryReport report;
  report.days = days;
  const DayDate today = LocalDateOf(now.utcSeconds, now.zoneMinutes);
  report.firstDay = DateOfDayNumber(DayNumber(today) - (days - 1));
  ScanPlan plan;
  plan.now = now;
  plan.windows.push_back({MidnightUtc(report.firstDay, now.zoneMinutes), now.utcSeconds});
  report.scan = ScanHistory(files, plan);
  if (report.scan.oldestDay && DayNumber(*report.scan.oldestDay) > DayNumber(report.firstDay))
    report.historyFrom = report.scan.oldestDay;
  return report;
}

SiteOutages OutagesOf(const HistoryScan& scan, size_t site) {
  SiteOutages outages;
  for (const ScanOutage& outage : scan.outages) {
    if (outage.site != site) continue;
    ++outages.count;
    outages.longestSeconds = std::max(outages.longestSeconds, outage.seconds);
  }
  return outages;
}

std::string DurationText(int64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

std::string PercentText(const TimeSplit& time) {
  const std::optional<int64_t> hundredths = time.UpHundredthsOfPercent();
  if (!hundredths) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02d", static_cast<long long>(*hundredths / 100),
                static_cast<int>(*hundredths % 100));
  return text;
}

std::string HistoryReportText(const HistoryReport& report) {
  const HistoryScan& scan = report.scan;
  std::string text = "网站可用率，最近 " + std::to_string(report.days) + " 天（自 " + DateText(report.firstDay) + " 起）\r\n";
  if (report.historyFrom) text += "历史记录始于 " + DateText(*report.historyFrom) + "，之前的日子没有记录\r\n";
  if (scan.sites.empty()) return text + "这段时间没有任何网站的记录\r\n";
  text += "    可用率  故障次数    故障时长    最长故障    未知时长  网址  最新状态\r\n";
  for (size_t i = 0; i < scan.sites.size(); ++i) {
    const ScanSite& site = scan.sites[i];
    const TimeSplit& time = site.windows.front();
    const SiteOutages outages = OutagesOf(scan, i);
    text += Padded(PercentText(time) + (time.UpHundredthsOfPercent() ? " %" : "  "), 10) + "  " +
            Padded(std::to_string(outages.count), 8) + "  " + Padded(DurationText(time.downSeconds), 10) + "  " +
            Padded(DurationText(outages.longestSeconds), 10) + "  " + Padded(DurationText(time.notKnownSeconds), 10) +
            "  " + site.address + "  " + site.latestStatus + "\r\n";
  }
  text += scan.outages.empty() ? "故障：无\r\n" : "故障：\r\n";
  for (const ScanOutage& outage : scan.outages) {
    text += "  " + Stamp(outage.start) + " 至 " + (outage.end ? Stamp(*outage.end) : std::string("仍未恢复")) + "  " +
            DurationText(outage.seconds) + "  " + scan.sites[outage.site].address + "  " + outage.failureText + "\r\n";
  }
  text += scan.network.empty() ? "本机断网：无\r\n" : "本机断网：\r\n";
  for (const ScanNetworkOutage& outage : scan.network) {
    const int64_t zone = int64_t{outage.zoneMinutes} * 60;
    text += "  " + Stamp(LocalTimeOfSeconds(outage.startUtc + zone)) + " 至 " +
            (outage.open ? std::string("仍未恢复") : Stamp(LocalTimeOfSeconds(outage.startUtc + outage.seconds + zone))) +
            "  " + DurationText(outage.seconds) + "\r\n";
  }
  text += "监控时间：" + DurationText(scan.watchedWindows.front()) + "\r\n";
  return text;
}

std::string HistoryReportCsv(const HistoryReport& report) {
  const HistoryScan& scan = report.scan;
  std::string text =
      "address,up_time_percent,up_seconds,down_seconds,not_known_seconds,outages,longest_outage_seconds,"
      "latest_status\r\n";
  for (size_t i = 0; i < scan.sites.size(); ++i) {
    const ScanSite& site = scan.sites[i];
    const TimeSplit& time = site.windows.front();
    const SiteOutages outages = OutagesOf(scan, i);
    text += CsvField(site.address) + "," + (time.UpHundredthsOfPercent() ? PercentText(time) : "") + "," +
            std::to_string(time.upSeconds) + "," + std::to_string(time.downSeconds) + "," +
            std::to_string(time.notKnownSeconds) + "," + std::to_string(outages.count) + "," +
            std::to_string(outages.longestSeconds) + "," + CsvField(site.latestStatus) + "\r\n";
  }
  return text;
}
