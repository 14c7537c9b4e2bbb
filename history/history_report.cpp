#include "history/history_report.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "history/history_row.h"

namespace {

struct SiteInRun {
  RowState state = RowState::NotKnown;
  int64_t since = 0;
  int outage = -1;  // index into the outages while one is open
};

class ReportBuilder {
 public:
  explicit ReportBuilder(int64_t periodStart) : periodStart_(periodStart) {}

  void Read(const HistoryRow& row) {
    const int64_t t = row.seconds;
    switch (row.kind) {
      case HistoryRow::RunStart:
        EndRun(runLast_, true);
        inRun_ = true;
        break;
      case HistoryRow::ProgramStart:
        EndRun(runLast_, true);
        break;
      case HistoryRow::RunStop:
        EndRun(t, true);
        break;
      case HistoryRow::NetworkDown:
        if (inRun_ && !networkDown_) {
          for (auto& [address, site] : sites_) Count(address, site, t);
          networkDown_ = true;
        }
        break;
      case HistoryRow::NetworkUp:
        if (inRun_ && networkDown_) {
          networkDown_ = false;
          for (auto& [address, site] : sites_) site.since = t;
        }
        break;
      case HistoryRow::Site:
        ReadSiteRow(row);
        break;
      case HistoryRow::Other:
        break;
    }
    runLast_ = t;
  }

  HistoryReport Finish() {
    EndRun(runLast_, false);  // a run without its stop rows: outages still open are ongoing
    HistoryReport report;
    for (const U16& address : order_) report.sites.push_back(figures_[address]);
    for (const Outage& outage : outages_) {
      if (!figures_.count(outage.address) || figures_[outage.address].latestStatus.empty()) continue;
      if (outage.end && SecondsOf(*outage.end) <= periodStart_ && SecondsOf(outage.start) < periodStart_) continue;
      report.outages.push_back(outage);
      for (SiteFigures& site : report.sites) {
        if (site.address != outage.address) continue;
        ++site.outages;
        site.longestOutageSeconds = std::max(site.longestOutageSeconds, outage.seconds);
      }
    }
    return report;
  }

 private:
  void ReadSiteRow(const HistoryRow& row) {
    const int64_t t = row.seconds;
    if (t >= periodStart_) {
      if (!figures_.count(row.address)) {
        order_.push_back(row.address);
        figures_[row.address].address = row.address;
      }
      figures_[row.address].latestStatus = row.statusText;
    }
    if (!inRun_) return;  // rows before the history's first run start
    SiteInRun& site = sites_[row.address];
    Count(row.address, site, t);
    if (row.state == RowState::Down && site.outage < 0) {
      site.outage = static_cast<int>(outages_.size());
      outages_.push_back({row.address, row.time, std::nullopt, 0, row.statusText});
    } else if (row.state != RowState::Down && site.outage >= 0) {
      outages_[site.outage].end = row.time;
      site.outage = -1;
    }
    site.state = row.state;
    site.since = t;
  }

  // Adds the site's time from its last row to t, where it falls in the period.
  void Count(const U16& address, SiteInRun& site, int64_t t) {
    const int64_t from = std::max(site.since, periodStart_);
    site.since = t;
    if (networkDown_ || t <= from || site.state == RowState::NotKnown) return;
    const int64_t seconds = t - from;
    SiteFigures& figures = figures_[address];
    figures.address = address;
    if (site.state == RowState::Up) {
      figures.upSeconds += seconds;
    } else {
      figures.downSeconds += seconds;
      if (site.outage >= 0) outages_[site.outage].seconds += seconds;
    }
  }

  void EndRun(int64_t t, bool ended) {
    if (!inRun_) return;
    for (auto& [address, site] : sites_) {
      Count(address, site, t);
      if (site.outage >= 0 && ended) outages_[site.outage].end = EndTime(t);
    }
    sites_.clear();
    inRun_ = false;
    networkDown_ = false;
  }

  static LocalTime EndTime(int64_t t) {
    const DayDate date = DateOfDayNumber(t >= 0 ? t / 86400 : (t - 86399) / 86400);
    const int64_t inDay = t - DayNumber(date) * 86400;
    return {date.year, date.month, date.day, static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
            static_cast<int>(inDay % 60)};
  }

  int64_t periodStart_;
  bool inRun_ = false;
  bool networkDown_ = false;
  int64_t runLast_ = 0;
  std::map<U16, SiteInRun> sites_;
  std::map<U16, SiteFigures> figures_;
  std::vector<U16> order_;
  std::vector<Outage> outages_;
};

std::string Utf8Stamp(const LocalTime& t) { return Utf8FromU16(FormatLogTime(t)); }

// "H:MM:SS", the hours as many as it takes.
std::string Duration(int64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

std::string Percent(const SiteFigures& site) {
  const std::optional<int64_t> hundredths = site.UpHundredthsOfPercent();
  if (!hundredths) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02d", static_cast<long long>(*hundredths / 100),
                static_cast<int>(*hundredths % 100));
  return text;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string CsvField(const U16& text) {
  const std::string utf8 = Utf8FromU16(text);
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::optional<int64_t> SiteFigures::UpHundredthsOfPercent() const {
  const int64_t counted = upSeconds + downSeconds;
  if (counted <= 0) return std::nullopt;
  return (upSeconds * 10000 * 2 + counted) / (counted * 2);  // rounded to the nearest
}

HistoryReport BuildHistoryReport(const std::vector<DayFileText>& days, int64_t periodStart) {
  ReportBuilder builder(periodStart);
  for (const DayFileText& day : days) {
    for (std::string_view line : DayFileLines(day.bytes)) {
      if (std::optional<HistoryRow> row = ReadHistoryRow(line)) builder.Read(*row);
    }
  }
  return builder.Finish();
}

bool HoldsRunBoundary(std::string_view bytes) {
  for (const char16_t* text : {u"监控开始运行", u"监控停止!", u"软件启动"}) {
    if (bytes.find(Utf8FromU16(text)) != std::string_view::npos) return true;
  }
  return false;
}

std::string HistoryReportText(const HistoryReport& report, int days, const DayDate& firstDay) {
  std::string text = "Sites, last " + std::to_string(days) + (days == 1 ? " day" : " days") + " (from " +
                     Utf8Stamp({firstDay.year, firstDay.month, firstDay.day, 0, 0, 0}) + "):\r\n";
  text += "  up time  outages  down total    longest  address  latest status\r\n";
  for (const SiteFigures& site : report.sites) {
    text += Padded(Percent(site) + (site.UpHundredthsOfPercent() ? " %" : "  "), 9) + "  " +
            Padded(std::to_string(site.outages), 7) + "  " + Padded(Duration(site.downSeconds), 10) + "  " +
            Padded(Duration(site.longestOutageSeconds), 9) + "  " + Utf8FromU16(site.address) + "  " +
            Utf8FromU16(site.latestStatus) + "\r\n";
  }
  text += report.outages.empty() ? "Outages: none\r\n" : "Outages:\r\n";
  for (const Outage& outage : report.outages) {
    text += "  " + Utf8Stamp(outage.start) + "  to " + (outage.end ? Utf8Stamp(*outage.end) : "ongoing") + "  " +
            Duration(outage.seconds) + "  " + Utf8FromU16(outage.address) + "  " +
            Utf8FromU16(outage.failureText) + "\r\n";
  }
  return text;
}

std::string HistoryReportCsv(const HistoryReport& report) {
  std::string text = "address,up_time_percent,outages,down_seconds,longest_outage_seconds,latest_status\r\n";
  for (const SiteFigures& site : report.sites) {
    const std::string percent = site.UpHundredthsOfPercent() ? Percent(site) : "";
    text += CsvField(site.address) + "," + percent + "," + std::to_string(site.outages) + "," +
            std::to_string(site.downSeconds) + "," + std::to_string(site.longestOutageSeconds) + "," +
            CsvField(site.latestStatus) + "\r\n";
  }
  return text;
}
