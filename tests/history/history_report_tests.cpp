// The report read back from what the writer wrote: each fault named in a test's name is one the
// figures written here by the report's rules would show.
#include <gtest/gtest.h>

#include "history/history_report.h"
#include "history/report_model.h"
#include "tests/history/history_support.h"

namespace {

const ScanSite* Site(const HistoryScan& scan, std::string_view address) {
  for (const ScanSite& site : scan.sites)
    if (site.address == address) return &site;
  return nullptr;
}

}  // namespace

// The window and the console on one folder: the window's stop and its next start end nothing of
// the console's; the console killed on Monday evening ends at its own last line, not at its next
// start days later; an empty reply is not up time; a clock set back an hour takes none away.
TEST(HistoryReport, TwoProgramsAKilledRunAnEmptyReplyAndAClockSetBack) {
  MemoryDisk folder;
  ProgramRun window(folder, "W-1-1", {2026, 12, 7, 10, 0, 0});
  window.Row("软件启动");
  window.Wait(1);
  window.Row("监控开始运行");
  window.Wait(30);
  window.Row("http://w/ 访问正常");  // 10:00:31
  ProgramRun console(folder, "C-2-2", {2026, 12, 7, 10, 5, 0});
  console.Row("监控开始运行");
  console.Wait(30);
  console.Row("http://b/ 网页不存在");  // 10:05:30
  window.Wait(1170);
  window.Row("监控停止!");  // 10:20:01
  {
    ProgramRun again(folder, "W-3-3", {2026, 12, 7, 10, 30, 0});
    again.Row("软件启动");
  }
  console.Wait(1800);
  console.Row("http://b/ 网页不存在");  // 10:35:30, then killed

  ProgramRun monday(folder, "C-4-4", {2026, 12, 10, 9, 0, 0});
  monday.Row("监控开始运行");
  monday.Wait(30);
  monday.Row("http://b/ 访问正常");  // 09:00:30
  monday.Wait(600);
  monday.Row("未知状态", false);
  monday.Wait(600);
  monday.Row("http://b/ 访问正常");  // 09:20:30
  monday.Wait(600);
  monday.SetClockBy(-3600);
  monday.Row("http://b/ 访问正常");  // stamped 08:30:30
  monday.Wait(600);
  monday.Row("监控停止!");

  const HistoryReport report = BuildHistoryReport(folder.Days(), ClockAt({2026, 12, 10, 12, 0, 0}), 7);
  const ScanSite* b = Site(report.scan, "http://b/");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->windows[0].downSeconds, 1800);
  EXPECT_EQ(b->windows[0].upSeconds, 600 + 1200);
  EXPECT_EQ(b->windows[0].notKnownSeconds, 600);
  EXPECT_EQ(b->windows[0].UpHundredthsOfPercent(), 5000);
  EXPECT_EQ(Site(report.scan, "http://w/")->windows[0].upSeconds, 1170);
  ASSERT_EQ(report.scan.outages.size(), 1u);
  EXPECT_EQ(FormatLogTime(*report.scan.outages[0].end), u"2026-12-7 10:35:30");
  EXPECT_EQ(report.scan.watchedWindows[0], 2129 + 2430);  // 10:00:01 to 10:35:30, and Monday's run
  EXPECT_EQ(HistoryReportCsv(report),
            "address,up_time_percent,up_seconds,down_seconds,not_known_seconds,outages,longest_outage_seconds,"
            "latest_status\r\n"
            "http://w/,100.00,1170,0,0,0,0,访问正常\r\n"
            "http://b/,50.00,1800,1800,600,1,1800,访问正常\r\n");
}

// A run that began on a day since pruned still has its figures: each day file states the runs
// open when it began; read together with the earlier day nothing counts twice.
TEST(HistoryReport, ALongRunOutlivesThePruningOfItsFirstDay) {
  MemoryDisk folder;
  ProgramRun run(folder, "W-1-1", {2026, 9, 1, 10, 0, 0});
  run.Row("监控开始运行");
  run.Wait(30);
  run.Row("http://a/ 访问正常");  // 10:00:30
  run.Wait(14 * 3600);
  run.Row("http://a/ 访问正常");  // 9-2 00:00:30
  run.Wait(12 * 3600 - 30);
  run.Row("http://a/ 网页不存在");  // 12:00:00
  run.Wait(1800);
  run.Row("http://a/ 网页不存在");  // 12:30:00, still running
  const ReportClock now = ClockAt({2026, 9, 2, 13, 0, 0});
  const HistoryReport both = BuildHistoryReport(folder.Days(), now, 1);
  folder.files.erase(u"2026-09-01.log");
  const HistoryReport alone = BuildHistoryReport(folder.Days(), now, 1);
  for (const HistoryReport* report : {&both, &alone}) {
    ASSERT_EQ(report->scan.sites.size(), 1u);
    EXPECT_EQ(report->scan.sites[0].windows[0].upSeconds, 12 * 3600);
    EXPECT_EQ(report->scan.sites[0].windows[0].downSeconds, 1800);
    ASSERT_EQ(report->scan.outages.size(), 1u);
    EXPECT_FALSE(report->scan.outages[0].end);  // still down: no later run of the window
  }
  EXPECT_EQ(HistoryReportText(BuildHistoryReport(folder.Days(), now, 7)),
            "网站可用率，最近 7 天（自 2026-08-27 起）\r\n"
            "历史记录始于 2026-09-02，之前的日子没有记录\r\n"
            "    可用率  故障次数    故障时长    最长故障    未知时长  网址  最新状态\r\n"
            "   98.11 %         1     0:30:00     0:30:00     0:00:00  http://a/  网页不存在\r\n"
            "故障：\r\n"
            "  2026-9-2 12:00:00 至 仍未恢复  0:30:00  http://a/  网页不存在\r\n"
            "本机断网：无\r\n"
            "监控时间：26:30:00\r\n");  // from the carried start on 9-1, inside the 7 days
}

// Day files of the earlier format (rows alone) still read; a zone change neither adds nor takes
// time; the page's model has the same figures as the report of the same days, a cell per day.
TEST(HistoryReport, EarlierFilesAZoneChangeAndThePageModel) {
  MemoryDisk folder;
  folder.files[u"2026-12-06.log"] =
      "\xEF\xBB\xBF" "2026-12-6 10:00:00 监控开始运行\r\n2026-12-6 10:00:30 http://old/ 访问正常\r\n"
      "2026-12-6 10:10:30 http://old/ 网页不存在\r\n2026-12-6 10:20:30 监控停止!\r\n";
  ProgramRun run(folder, "C-1-1", {2026, 12, 8, 1, 0, 0});
  run.Row("监控开始运行");
  run.Row("http://a/ 访问正常");
  run.Row("本机网络断线，请检查网线是否插好");
  run.Wait(600);
  run.Row("本机网络恢复正常");  // 01:10
  run.Wait(1200);
  run.SetZone(kZone + 60);  // the clock's zone moves an hour on
  run.Row("http://a/ 网页不存在");  // stamped 02:30, 20 minutes after 01:10
  run.Wait(1200);
  run.Row("监控停止!");
  const ReportClock now = ClockAt({2026, 12, 8, 12, 0, 0});
  const HistoryReport report = BuildHistoryReport(folder.Days(), now, 7);
  EXPECT_EQ(Site(report.scan, "http://old/")->windows[0].upSeconds, 600);
  EXPECT_EQ(Site(report.scan, "http://old/")->windows[0].downSeconds, 600);
  EXPECT_EQ(Site(report.scan, "http://a/")->windows[0].upSeconds, 1200);
  EXPECT_EQ(Site(report.scan, "http://a/")->windows[0].downSeconds, 1200);
  ASSERT_EQ(report.scan.network.size(), 1u);
  EXPECT_EQ(report.scan.network[0].seconds, 600);

  const ReportPageModel model = BuildReportPageModel(folder.Days(), now);
  ASSERT_EQ(model.sites.size(), 2u);
  EXPECT_EQ(model.sites[1].last7Days.upSeconds, 1200);
  EXPECT_EQ(model.sites[1].last24Hours.downSeconds, 1200);
  ASSERT_EQ(model.sites[0].days.size(), 90u);
  EXPECT_EQ(model.sites[0].days[87].time.watchedSeconds, 1200);  // 2026-12-6
  EXPECT_EQ(model.sites[0].days[88].time.watchedSeconds, 0);
  EXPECT_EQ(model.historyFrom->day, 6);
  EXPECT_EQ(model.watchedSeconds, 1230 + 3000);  // watching, not only a site's rows
  ASSERT_EQ(model.networkOutages.size(), 1u);
}
