#include "history/report_page.h"

#include <cstdio>

namespace {

// Text for the page: every character that could open markup or end an attribute is written as
// an entity, so an address or a failure text read from the history stays text.
std::string Escaped(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Other control characters (a damaged row) would show as boxes or break a tooltip.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') out += ' ';
        else out += c;
    }
  }
  return out;
}

std::string Escaped(const U16& text) { return Escaped(Utf8FromU16(text)); }

std::string Format(const char* format, long long a, long long b = 0, long long c = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string DateText(int year, int month, int day) { return Format("%04lld-%02lld-%02lld", year, month, day); }
std::string DateText(const LocalTime& t) { return DateText(t.year, t.month, t.day); }
std::string StampText(const LocalTime& t) { return Utf8FromU16(FormatLogTime(t)); }

// "3天4小时", "2小时5分", "5分10秒", "40秒": the two largest units.
std::string DurationInUnits(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const long long days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60,
                  rest = seconds % 60;
  if (days > 0) return Format("%lld天%lld小时", days, hours);
  if (hours > 0) return Format("%lld小时%lld分", hours, minutes);
  if (minutes > 0) return Format("%lld分%lld秒", minutes, rest);
  return Format("%lld秒", rest);
}

// "99.95%", or "-" when neither up nor down time counted.
std::string PercentWithSign(const TimeSplit& time) {
  const std::optional<int64_t> hundredths = time.UpHundredthsOfPercent();
  if (!hundredths) return "-";
  return Format("%lld.%02lld%%", *hundredths / 100, *hundredths % 100);
}

// The colour class of an up time: the same steps for the figures and the day cells.
const char* Grade(const TimeSplit& time) {
  const std::optional<int64_t> hundredths = time.UpHundredthsOfPercent();
  if (!hundredths) return time.watchedSeconds > 0 ? "g-unknown" : "g-none";
  if (*hundredths >= 9990) return "g-top";
  if (*hundredths >= 9900) return "g-good";
  if (*hundredths >= 9500) return "g-fair";
  if (*hundredths >= 9000) return "g-poor";
  return "g-bad";
}

constexpr const char* kStyle = R"(
:root{font-family:"Microsoft YaHei","微软雅黑","PingFang SC","Noto Sans CJK SC","WenQuanYi Micro Hei",SimSun,sans-serif;font-size:13px;color:#1f2933;background:#f4f6f8}
body{margin:0;padding:16px 20px}
h1{font-size:20px;margin:0 0 6px}
h2{font-size:15px;margin:22px 0 8px}
.meta{color:#52606d;margin:2px 0}
.note{background:#fff4d6;border:1px solid #e8c66a;padding:4px 8px;display:inline-block;margin:6px 0}
.legend span.cell{vertical-align:middle;margin-left:10px}
table{border-collapse:collapse;background:#fff;width:100%}
th,td{padding:3px 6px;border-bottom:1px solid #e4e7eb;text-align:left;vertical-align:middle}
th{background:#e9edf1;font-weight:600;white-space:nowrap}
table.sites{table-layout:fixed}
.sites th.fig{width:70px}.sites th.days{width:546px}.sites th.count{width:36px}.sites th.state{width:140px}
tr.site td{height:28px;padding-top:2px;padding-bottom:2px}
td.addr,td.state{overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
td.fig{text-align:right;white-space:nowrap;font-variant-numeric:tabular-nums}
th.fig,th.count{text-align:right}
td.fig b{font-weight:600;padding:0 3px;border-radius:3px}
td.fig small{display:block;color:#7b8794;font-size:11px}
td.count{text-align:right}
.strip{display:flex;gap:1px;height:18px;background:#fff}
.cell{display:inline-block;width:5px;height:18px;border-radius:1px}
.strip .cell{flex:1 1 0;min-width:2px;width:auto}
.g-top{background:#2f9e44;color:#fff}.g-good{background:#8ccf4d}.g-fair{background:#f2c744}
.g-poor{background:#f08c2e;color:#fff}.g-bad{background:#d9363e;color:#fff}
.g-unknown{background:#a5b4c3}.g-none{background:#dde2e7}
td.fig b.g-good,td.fig b.g-fair{color:#1f2933}td.fig b.g-none,td.fig b.g-unknown{background:none;color:#7b8794}
details{background:#fff;border:1px solid #e4e7eb;margin:4px 0;padding:4px 8px}
summary{cursor:pointer}
details table{margin-top:4px}
td.num{text-align:right;white-space:nowrap}
.none{color:#52606d}
)";

void AddFigureCell(std::string& html, const TimeSplit& time) {
  html += "<td class=\"fig\"><b class=\"";
  html += Grade(time);
  html += "\">" + PercentWithSign(time) + "</b>";
  if (time.notKnownSeconds > 0) html += "<small>未知 " + DurationInUnits(time.notKnownSeconds) + "</small>";
  html += "</td>";
}

// One cell of the strip; its tooltip gives the day's figures.
void AddDayCell(std::string& html, const PageDay& day) {
  std::string tip = DateText(day.year, day.month, day.day);
  if (day.time.watchedSeconds <= 0) {
    tip += " 未监控";
  } else {
    tip += " 可用率 " + PercentWithSign(day.time) + "&#10;正常 " + DurationInUnits(day.time.upSeconds) + "，故障 " +
           DurationInUnits(day.time.downSeconds) + "，未知 " + DurationInUnits(day.time.notKnownSeconds) + "&#10;监控 " +
           DurationInUnits(day.time.watchedSeconds);
  }
  html += "<span class=\"cell ";
  html += Grade(day.time);
  html += "\" title=\"" + tip + "\"></span>";
}

std::string EndText(const std::optional<LocalTime>& end) { return end ? StampText(*end) : "仍未恢复"; }

void AddSitesTable(std::string& html, const ReportPageModel& model) {
  const std::string firstDay = model.sites.empty() || model.sites[0].days.empty()
                                   ? std::string()
                                   : DateText(model.sites[0].days[0].year, model.sites[0].days[0].month,
                                              model.sites[0].days[0].day);
  html += "<table class=\"sites\"><thead><tr><th>站点</th><th class=\"fig\">24小时</th><th class=\"fig\">7天</th>"
          "<th class=\"fig\">30天</th><th class=\"fig\">90天</th><th class=\"days\">每日可用率（" + firstDay +
          " 起，每格一天）</th><th class=\"count\">故障</th><th class=\"state\">最新状态</th></tr></thead><tbody>";
  for (size_t i = 0; i < model.sites.size(); ++i) {
    const PageSite& site = model.sites[i];
    const std::string address = Escaped(site.address);
    html += "<tr class=\"site\" data-site=\"" + std::to_string(i + 1) + "\"><td class=\"addr\" title=\"" + address +
            "\">" + address + "</td>";
    for (const TimeSplit* time : {&site.last24Hours, &site.last7Days, &site.last30Days, &site.last90Days})
      AddFigureCell(html, *time);
    html += "<td><div class=\"strip\">";
    for (const PageDay& day : site.days) AddDayCell(html, day);
    html += "</div></td><td class=\"count\">" + std::to_string(site.outages.size()) + "</td>";
    const std::string status = Escaped(site.latestStatus);
    html += "<td class=\"state\" title=\"" + status + "\">" + status + "</td></tr>";
  }
  html += "</tbody></table>";
}

void AddOutages(std::string& html, const ReportPageModel& model) {
  html += "<h2>站点故障</h2>";
  bool any = false;
  for (size_t i = 0; i < model.sites.size(); ++i) {
    const PageSite& site = model.sites[i];
    if (site.outages.empty()) continue;
    any = true;
    int64_t total = 0, longest = 0;
    for (const PageOutage& outage : site.outages) {
      total += outage.seconds;
      if (outage.seconds > longest) longest = outage.seconds;
    }
    html += "<details class=\"outages\" data-site=\"" + std::to_string(i + 1) + "\"><summary>" +
            Escaped(site.address) + "：" + std::to_string(site.outages.size()) + " 次故障，共 " +
            DurationInUnits(total) + "，最长 " + DurationInUnits(longest) +
            "</summary><table><thead><tr><th>开始</th><th>结束</th><th>时长</th><th>原因</th></tr></thead><tbody>";
    for (const PageOutage& outage : site.outages) {
      html += "<tr><td class=\"num\">" + StampText(outage.start) + "</td><td class=\"num\">" + EndText(outage.end) +
              "</td><td class=\"num\">" + DurationInUnits(outage.seconds) + "</td><td>" + Escaped(outage.failureText) +
              "</td></tr>";
    }
    html += "</tbody></table></details>";
  }
  if (!any) html += "<p class=\"none\">统计期间没有站点故障。</p>";
}

void AddNetworkOutages(std::string& html, const ReportPageModel& model) {
  html += "<h2>本机网络断线</h2>";
  if (model.networkOutages.empty()) {
    html += "<p class=\"none\">统计期间本机网络没有断线。</p>";
    return;
  }
  int64_t total = 0;
  for (const PageNetworkOutage& outage : model.networkOutages) total += outage.seconds;
  html += "<details class=\"network\" open><summary>" + std::to_string(model.networkOutages.size()) +
          " 次断线，共 " + DurationInUnits(total) +
          "（断线期间不计入站点的可用率）</summary><table><thead><tr><th>开始</th><th>结束</th><th>时长</th></tr>"
          "</thead><tbody>";
  for (const PageNetworkOutage& outage : model.networkOutages) {
    html += "<tr><td class=\"num\">" + StampText(outage.start) + "</td><td class=\"num\">" + EndText(outage.end) +
            "</td><td class=\"num\">" + DurationInUnits(outage.seconds) + "</td></tr>";
  }
  html += "</tbody></table></details>";
}

}  // namespace

std::string RenderReportPage(const ReportPageModel& model) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
      // Nothing but the page's own style may load: no script, font or picture from anywhere.
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>可用率报告</title><style>";
  html += kStyle;
  html += "</style></head><body><h1>可用率报告</h1>";
  html += "<p class=\"meta\">生成于 " + StampText(model.generatedAt) + "，统计最近 " +
          std::to_string(model.daysAsked) + " 天，共 " + std::to_string(model.sites.size()) + " 个站点。</p>";
  if (model.historyFrom)
    html += "<p class=\"note\" id=\"history-from\">历史记录始于 " + DateText(*model.historyFrom) +
            "：更早的记录已不在，各项数字只统计此后的时间。</p>";
  const int64_t watchedPercent =
      model.periodSeconds > 0 ? (model.watchedSeconds * 100 * 2 + model.periodSeconds) / (model.periodSeconds * 2) : 0;
  html += "<p class=\"meta\" id=\"watched\">监控时间：" + DurationInUnits(model.watchedSeconds) + "，占统计时间 " +
          DurationInUnits(model.periodSeconds) + " 的 " + std::to_string(watchedPercent) +
          "%（其余时间没有程序在监控）。</p>";
  html += "<p class=\"meta legend\">可用率 = 正常时间 ÷（正常 + 故障时间）；“未知”为监控中但无法判断的时间。"
          "<span class=\"cell g-top\"></span> ≥99.9% <span class=\"cell g-good\"></span> ≥99% "
          "<span class=\"cell g-fair\"></span> ≥95% <span class=\"cell g-poor\"></span> ≥90% "
          "<span class=\"cell g-bad\"></span> &lt;90% <span class=\"cell g-unknown\"></span> 只有未知 "
          "<span class=\"cell g-none\"></span> 未监控</p>";
  if (model.sites.empty()) {
    html += "<p class=\"none\">统计期间没有任何站点的记录。</p>";
  } else {
    AddSitesTable(html, model);
  }
  AddOutages(html, model);
  AddNetworkOutages(html, model);
  html += "</body></html>\n";
  return html;
}
