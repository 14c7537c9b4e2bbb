// The report read back from day files: runs, states, the local network and outages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/history_report.h"
#include "history/history_row.h"

namespace {

DayFileText Day(DayDate date, const std::vector<std::string>& rows, std::string tail = "") {
  DayFileText day{date, "\xEF\xBB\xBF"};
  for (const std::string& row : rows) day.bytes += row + "\r\n";
  day.bytes += tail;
  return day;
}

int64_t Midnight(DayDate date) { return DayNumber(date) * 86400; }

const SiteFigures* Site(const HistoryReport& report, U16View address) {
  for (const SiteFigures& site : report.sites)
    if (site.address == address) return &site;
  return nullptr;
}

}  // namespace

// An outage across midnight, in a run that began the day before the period.
TEST(HistoryReport, AnOutageOverMidnightCountsWithinThePeriodOnly) {
  const std::vector<DayFileText> days = {
      Day({2026, 12, 7}, {"2026-12-7 22:00:00 监控开始运行", "2026-12-7 22:00:30 http://a/ 访问正常",
                          "2026-12-7 23:00:30 http://a/ 网页不存在"}),
      Day({2026, 12, 8}, {"2026-12-8 01:00:30 http://a/ 访问正常", "2026-12-8 02:00:30 停止中...",
                          "2026-12-8 02:00:31 监控停止!", "2026-12-8 02:30:00 http://late/ 访问正常"}),
  };
  HistoryReport report = BuildHistoryReport(days, Midnight({2026, 12, 7}));
  ASSERT_EQ(report.sites.size(), 2u);  // a row outside any run still names its site
  const SiteFigures& a = report.sites[0];
  EXPECT_EQ(a.upSeconds, 7201);
  EXPECT_EQ(a.downSeconds, 7200);
  EXPECT_EQ(a.UpHundredthsOfPercent(), 5000);
  ASSERT_EQ(report.outages.size(), 1u);
  EXPECT_EQ(FormatLogTime(report.outages[0].start), u"2026-12-7 23:00:30");
  EXPECT_EQ(FormatLogTime(*report.outages[0].end), u"2026-12-8 01:00:30");
  EXPECT_EQ(report.outages[0].seconds, 7200);
  EXPECT_EQ(report.outages[0].failureText, u"网页不存在");
  EXPECT_FALSE(report.sites[1].UpHundredthsOfPercent());

  report = BuildHistoryReport(days, Midnight({2026, 12, 8}));
  EXPECT_EQ(Site(report, u"http://a/")->downSeconds, 3630);
  EXPECT_EQ(Site(report, u"http://a/")->longestOutageSeconds, 3630);
  EXPECT_EQ(Site(report, u"http://a/")->UpHundredthsOfPercent(), 4980);  // 3601 / 7231
  EXPECT_EQ(report.outages.size(), 1u);
}

// A run killed without its stop rows, a network outage inside a site's outage, a second run on
// other sites with an outage still going, a torn last row and a damaged file.
TEST(HistoryReport, KilledRunsNetworkOutagesAndDamagedFiles) {
  const std::vector<DayFileText> days = {
      {{2026, 12, 7}, std::string(1, '\0') + "\xff\xfe garbage\r\n2026-99-1 10:00:00 http://x/ 网页不存在\r\n\xc3"},
      Day({2026, 12, 8},
          {"2026-12-8 10:00:00 软件启动", "2026-12-8 10:00:01 线程[1]启动", "2026-12-8 10:00:01 监控开始运行",
           "2026-12-8 10:00:31 http://a/ 访问正常",
           "2026-12-8 10:00:41 http://b/ 不能访问网站，可能本机不能上网，或网站故障",
           "2026-12-8 10:01:00 本机网络断线，请检查网线是否插好", "2026-12-8 10:05:00 http://b/ 网页不存在",
           "2026-12-8 10:06:00 本机网络断线，请检查网线是否插好",
           "2026-12-8 10:11:00 本机网络恢复正常", "2026-12-8 10:11:00 本机网络恢复正常",
           "2026-12-8 10:11:41 http://b/ 网站服务器，内部发生错误500", "2026-12-8 10:12:31 http://a/ 访问正常",
           "未知状态", "2026-12-8 10:30:00 软件启动", "2026-12-8 10:30:01 监控开始运行",
           "2026-12-8 10:30:31 http://c/ 访问正常", "2026-12-8 10:31:31 http://c/ 临时响应",
           "2026-12-8 10:32:31 http://c/ 访问正常", "2026-12-8 10:33:31 http://c/ 网页不存在",
           "2026-12-8 10:34:31 http://c/ 当前网页300跳转", "2026-12-8 10:35:31 http://c/ 网页不存在",
           "2026-12-8 10:36:31 http://d/ 访问正常"},
          "2026-12-8 10:40:00 http://c/ 访问正"),
  };
  const HistoryReport report = BuildHistoryReport(days, Midnight({2026, 12, 2}));
  EXPECT_EQ(HistoryReportText(report, 7, {2026, 12, 2}),
            "Sites, last 7 days (from 2026-12-2 00:00:00):\r\n"
            "  up time  outages  down total    longest  address  latest status\r\n"
            " 100.00 %        0     0:00:00    0:00:00  http://a/  访问正常\r\n"
            "   0.00 %        1     0:01:50    0:01:50  http://b/  网站服务器，内部发生错误500\r\n"
            "  60.00 %        2     0:02:00    0:01:00  http://c/  网页不存在\r\n"
            "      -          0     0:00:00    0:00:00  http://d/  访问正常\r\n"
            "Outages:\r\n"
            "  2026-12-8 10:00:41  to 2026-12-8 10:12:31  0:01:50  http://b/  不能访问网站，可能本机不能上网，或网站故障\r\n"
            "  2026-12-8 10:33:31  to 2026-12-8 10:34:31  0:01:00  http://c/  网页不存在\r\n"
            "  2026-12-8 10:35:31  to ongoing  0:01:00  http://c/  网页不存在\r\n");
  EXPECT_EQ(Site(report, u"http://a/")->upSeconds, 120);
}

TEST(HistoryReport, CsvQuotesWhatNeedsItAndRunBoundariesAreFound) {
  const HistoryReport report = BuildHistoryReport(
      {Day({2026, 12, 8}, {"2026-12-8 10:00:00 监控开始运行", "2026-12-8 10:00:30 http://a/?x=1,2 访问正常",
                           "2026-12-8 10:01:00 http://a/?x=1,2 网页不存在", "2026-12-8 10:02:00 监控停止!"})},
      0);
  EXPECT_EQ(HistoryReportCsv(report),
            "address,up_time_percent,outages,down_seconds,longest_outage_seconds,latest_status\r\n"
            "\"http://a/?x=1,2\",33.33,1,60,60,网页不存在\r\n");
  EXPECT_TRUE(HoldsRunBoundary(Day({2026, 12, 8}, {"2026-12-8 10:02:00 监控停止!"}).bytes));
  EXPECT_FALSE(HoldsRunBoundary(Day({2026, 12, 8}, {"2026-12-8 10:00:30 http://a/ 访问正常"}).bytes));
}
