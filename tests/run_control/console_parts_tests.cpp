#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/alert_test.h"
#include "console/console_arguments.h"
#include "console/console_outlets.h"
#include "console/console_run_window.h"
#include "monitor/run_control.h"
#include "monitor/run_flags.h"
#include "store/posix_files.h"
#include "store/stored_state.h"
#include "tests/run_control/fake_run_host.h"
#include "tests/support/test_files.h"

using sitemon_test::Le32;
using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;

TEST(ConsoleOutlets, RowsAndShownPopupsBecomeLinesHidesAndTipsNothing) {
  std::vector<std::string> lines;
  ConsoleOutlets out([&](std::string_view line) { lines.emplace_back(line); });
  out.InsertLogRow(u"2014-5-7 09:03:05 线程[1]启动");
  EXPECT_EQ(out.ShowNotification(1, 3, u"监控开始运行...", u"Dorvane提示"), 1);
  EXPECT_EQ(out.ShowNotification(0, 0, u"", u"Dorvane提示"), 1);
  out.SetTrayTip(u"Dorvane网站监控\n状态：访问正常");
  out.InsertLogRow(u"未知状态");
  EXPECT_EQ(lines, (std::vector<std::string>{"2014-5-7 09:03:05 线程[1]启动\r\n",
                                             "[Dorvane提示] 监控开始运行...\r\n", "未知状态\r\n"}));
}

TEST(ConsoleStoredState, MissingFilesGiveTheDefaultListAndRepairedSettings) {
  TempFolder dir;
  ASSERT_FALSE(dir.path().empty());
  PosixStoreFiles files;
  Utf8CodePage codePage;
  ConfigRecord record;
  const U16 text = LoadStoredState(files, codePage, {dir.File16("site.txt"), dir.File16("Config.dat")}, record);
  EXPECT_EQ(text, DefaultSiteList());
  EXPECT_EQ(record.checkIntervalSeconds, 60);
  EXPECT_EQ(record.retryCount, 3);
  EXPECT_EQ(record.retryIntervalSeconds, 30);
  EXPECT_EQ(record.softtype, 2);
}

TEST(ConsoleStoredState, StoredFilesAreReadAsTheWindowReadsThem) {
  TempFolder dir;
  ASSERT_FALSE(dir.path().empty());
  WriteBytes(dir.path() / "Config.dat", Le32(300) + Le32(2));  // short record: retry interval 0
  WriteBytes(dir.path() / "site.txt", "  http://127.0.0.1:1/a\r\n\r\nhttp://127.0.0.1:1/b");
  PosixStoreFiles files;
  Utf8CodePage codePage;
  ConfigRecord record;
  const U16 text = LoadStoredState(files, codePage, {dir.File16("site.txt"), dir.File16("Config.dat")}, record);
  EXPECT_EQ(text, u"  http://127.0.0.1:1/a\r\n\r\nhttp://127.0.0.1:1/b");  // normalised only at Start
  EXPECT_EQ(record.checkIntervalSeconds, 300);
  EXPECT_EQ(record.retryCount, 2);
  EXPECT_EQ(record.retryIntervalSeconds, 30);

  WriteBytes(dir.path() / "Config.dat", Le32(45) + Le32(0) + Le32(7));
  ConfigRecord repaired;
  LoadStoredState(files, codePage, {dir.File16("site.txt"), dir.File16("Config.dat")}, repaired);
  EXPECT_EQ(repaired.checkIntervalSeconds, 60);
  EXPECT_EQ(repaired.retryCount, 3);
  EXPECT_EQ(repaired.retryIntervalSeconds, 30);
}

// The console's whole run on the fake threads: the printed lines, site.txt at Start and
// Config.dat at the end.
TEST(ConsoleRun, StartStopAndSavePrintTheRowsAndWriteTheFiles) {
  SetStopRequested(0);
  SetExitRequested(0);
  TempFolder dir;
  ASSERT_FALSE(dir.path().empty());
  WriteBytes(dir.path() / "Config.dat", Le32(30) + Le32(1) + Le32(10));
  WriteBytes(dir.path() / "site.txt", "http://127.0.0.1:1/ok \r\n\r\n http://127.0.0.1:1/missing\r\n");
  PosixStoreFiles files;
  Utf8CodePage codePage;
  const StoredStatePaths paths{dir.File16("site.txt"), dir.File16("Config.dat")};
  ConfigRecord record;
  U16 text = LoadStoredState(files, codePage, paths, record);

  std::vector<std::string> lines;
  ConsoleOutlets outlets([&](std::string_view line) { lines.emplace_back(line); });
  int notifyTag = 0;
  ConsoleRunWindow window(files, codePage, paths, record, std::move(text), &notifyTag, outlets);
  fake::FakeThreads threads;
  threads.body = [](SiteProbeTask& task, fake::FakeThreads& host) {
    host.Post(static_cast<uint64_t>(task.siteNumber), task.siteNumber == 1 ? 200 : 404);
    fake::FakeThreads::DefaultWorker(task, host);
  };
  RunControl run(threads, window);
  threads.onStatus = [&](uint64_t n, int32_t s) { run.OnSiteStatus(n, s); };

  run.OnStart();
  ASSERT_TRUE(threads.PumpUntil([&] { return lines.size() >= 7; }));  // both reports and the 404 popup
  run.OnStop();
  run.OnDestroy();
  threads.onStatus = nullptr;

  auto Body = [](const std::string& line) {  // the line without its time stamp and CR LF
    const size_t at = line.find(' ', line.find(' ') + 1);
    return line.substr(at + 1, line.size() - at - 3);
  };
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(Body(lines[0]), "线程[1]启动");
  EXPECT_EQ(Body(lines[1]), "线程[2]启动");
  EXPECT_EQ(Body(lines[2]), "监控开始运行");
  EXPECT_EQ(lines[3], "[Dorvane提示] 监控开始运行...\r\n");
  // The two workers' reports arrive in either order; the 404 row pops up right after it is logged.
  size_t okRow = 0, missingRow = 0;
  for (size_t i = 4; i < 7; ++i) {
    if (lines[i].find("http://127.0.0.1:1/ok 访问正常\r\n") != std::string::npos && lines[i][0] != '[') okRow = i;
    if (lines[i].find("http://127.0.0.1:1/missing 网页不存在\r\n") != std::string::npos && lines[i][0] != '[') missingRow = i;
  }
  ASSERT_NE(okRow, 0u);
  ASSERT_NE(missingRow, 0u);
  ASSERT_LT(missingRow, 6u);
  EXPECT_EQ(lines[missingRow + 1], "[Dorvane提示] " + lines[missingRow]);
  EXPECT_EQ(Body(lines[7]), "停止中...");
  std::vector<std::string> ends{Body(lines[8]), Body(lines[9])};
  std::sort(ends.begin(), ends.end());
  EXPECT_EQ(ends, (std::vector<std::string>{"[1]线程退出", "[2]线程退出"}));
  EXPECT_EQ(Body(lines[10]), "监控停止!");

  EXPECT_EQ(ReadBytes(dir.path() / "site.txt"), "http://127.0.0.1:1/ok\r\nhttp://127.0.0.1:1/missing");
  const std::string config = ReadBytes(dir.path() / "Config.dat");
  ASSERT_EQ(config.size(), 240u);
  EXPECT_EQ(config.substr(0, 20), Le32(30) + Le32(1) + Le32(10) + Le32(0) + Le32(2));
  EXPECT_EQ(g_exitRequested.load(), 1);
}

TEST(ConsoleArguments, SettingsTakeTheListValuesAndAddressesBecomeTheEditText) {
  ConsoleArguments args;
  std::string error;
  ASSERT_TRUE(ParseConsoleArguments({u"--interval", u"900", u"--retries=1", u"--retry-interval", u"300",
                                     u"  http://a/ ", u"", u"--", u"-b"},
                                    args, error)) << error;
  EXPECT_FALSE(args.help);
  MonitorSettings settings{60, 3, 30};
  args.ApplySettings(settings);
  EXPECT_EQ(settings.checkIntervalSeconds, 900);
  EXPECT_EQ(settings.retryCount, 1);
  EXPECT_EQ(settings.retryIntervalSeconds, 300);
  EXPECT_EQ(args.SiteListText(), u"  http://a/ \r\n\r\n-b");
  EXPECT_EQ(CLineList::Normalised(args.SiteListText()).Joined(), u"http://a/\r\n-b");

  ASSERT_TRUE(ParseConsoleArguments({u"--retries", u"2"}, args, error));
  settings = {120, 3, 60};
  args.ApplySettings(settings);
  EXPECT_EQ(settings.checkIntervalSeconds, 120);  // not given: the stored value stays
  EXPECT_EQ(settings.retryCount, 2);
  EXPECT_TRUE(args.HasSettings());
  EXPECT_TRUE(args.sites.empty());

  ASSERT_TRUE(ParseConsoleArguments({}, args, error));
  EXPECT_FALSE(args.HasSettings() || args.help || !args.sites.empty());
  ASSERT_TRUE(ParseConsoleArguments({u"http://x/", u"--help"}, args, error));
  EXPECT_TRUE(args.help);
  ASSERT_TRUE(ParseConsoleArguments({u"--report"}, args, error));
  EXPECT_TRUE(args.report && !args.csv && args.reportDays == 7);
  ASSERT_TRUE(ParseConsoleArguments({u"--alert-test"}, args, error));
  EXPECT_TRUE(args.alertTest && !args.report && args.sites.empty());
  ASSERT_TRUE(ParseConsoleArguments({u"--csv", u"--days", u"90", u"--report"}, args, error));
  EXPECT_TRUE(args.report && args.csv && args.reportDays == 90);
  ASSERT_TRUE(ParseConsoleArguments({u"--html=报告 1.html", u"--report"}, args, error));
  EXPECT_TRUE(args.report && args.html && args.htmlPath == u"报告 1.html");
  EXPECT_NE(ConsoleUsage().find("--retry-interval S  seconds between retries: 10, 30, 60, 120 or 300\r\n"),
            std::string::npos);
}

TEST(ConsoleArguments, RefusalsNameTheWordAndWhatIsAccepted) {
  const std::vector<std::pair<std::vector<U16>, std::string>> cases = {
      {{u"--interval", u"45"}, "--interval does not accept \"45\"; accepted seconds: 30, 60, 120, 300, 600 or 900"},
      {{u"--retries=0"}, "--retries does not accept \"0\"; accepted count: 1, 2 or 3"},
      {{u"--retry-interval", u"1分钟"}, "--retry-interval does not accept \"1分钟\"; accepted seconds: 10, 30, 60, 120 or 300"},
      {{u"--interval", u" 30"}, "--interval does not accept \" 30\"; accepted seconds: 30, 60, 120, 300, 600 or 900"},
      {{u"http://a/", u"--retries"}, "--retries needs a value (count): 1, 2 or 3"},
      {{u"--verbose", u"http://a/"}, "unknown option \"--verbose\"; accepted: --interval S, --retries N, "
                                     "--retry-interval S, --help, then the addresses to monitor; "
                                     "or --report [--days N] [--csv]; or --report --html FILE; or --alert-test"},
      {{u"--report", u"--days", u"0"}, "--days does not accept \"0\"; accepted: a number of days from 1 to 90"},
      {{u"--report", u"--days=91"}, "--days does not accept \"91\"; accepted: a number of days from 1 to 90"},
      {{u"--csv"}, "--csv goes only with --report"},
      {{u"--report", u"http://a/"}, "--report takes only --days N and --csv, or --html FILE; it starts no run"},
      {{u"--report", u"--html"}, "--html needs the path of the page to write"},
      {{u"--html", u"a.html"}, "--html goes only with --report"},
      {{u"--report", u"--html", u"a.html", u"--days", u"7"},
       "--html takes neither --days nor --csv; the page covers the last 24 hours, 7, 30 and 90 days"},
      {{u" ", u"\u3000"}, "the addresses given are all blank; give at least one address to monitor"},
      {{u"--alert-test", u"http://a/"}, "--alert-test takes no other argument"},
  };
  for (const auto& [words, expected] : cases) {
    ConsoleArguments args;
    std::string error;
    EXPECT_FALSE(ParseConsoleArguments(words, args, error)) << expected;
    EXPECT_EQ(error, expected);
  }
}

// The sites are numbered as the run log numbers their workers: blank lines are not sites.
TEST(ConsoleBanner, NamesTheNormalisedSitesTheSettingsAndCtrlC) {
  EXPECT_EQ(ConsoleBanner(u"  http://a/ \r\n\r\n\u3000http://\u4e00/", {30, 1, 10}, true),
            "SiteMonitorConsole: watching 2 sites (from the command line), checked every 30 s, 1 retry 10 s apart:\r\n"
            "  [1] http://a/\r\n"
            "  [2] http://\xe4\xb8\x80/\r\n"
            "Ctrl+C stops the run.\r\n");
}

// --alert-test: a line per enabled channel, and success only when every one was delivered.
TEST(ConsoleAlertTest, OneLinePerEnabledChannelAndSuccessOnlyWhenAllWereDelivered) {
  struct Sender final : IChannelSender {
    std::vector<std::string> sentTo;
    SendOutcome Send(const AlertChannel& channel, const AlertMessage&, const std::atomic<bool>&) override {
      sentTo.push_back(channel.name);
      if (channel.name == "邮件") return {false, false, "服务器证书不受信任（证书链无效）"};
      return {true, true, "已发送"};
    }
  } sender;
  std::vector<AlertChannel> channels(3);
  channels[0].name = "运维群";
  channels[1].name = "停用的";
  channels[1].enabled = false;
  channels[2].name = "邮件";
  std::string out;
  const auto print = [&out](std::string_view line) { out += line; };
  EXPECT_FALSE(SendAlertTest(channels, sender, {}, print));
  EXPECT_EQ(out, "[sent] 运维群: 已发送\r\n[failed] 邮件: 服务器证书不受信任（证书链无效）\r\n");
  EXPECT_EQ(sender.sentTo, (std::vector<std::string>{"运维群", "邮件"}));

  channels.pop_back();
  EXPECT_TRUE(SendAlertTest(channels, sender, {}, print));
  channels[0].enabled = false;
  EXPECT_FALSE(SendAlertTest(channels, sender, {}, print));  // no channel to send to
}
