#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "monitor/status_handler.h"
#include "tests/support/recording_outlets.h"

namespace {

const LocalTime kNow{2014, 5, 7, 9, 3, 5};
const U16 kStamp = u"2014-5-7 09:03:05";
const U16 kTitle = u"Dorvane提示";

OutletCall Row(U16 text) { return {OutletCall::Row, 0, 0, std::move(text), {}}; }
OutletCall Popup(int seconds, U16 text) { return {OutletCall::Popup, 1, seconds, std::move(text), kTitle}; }
OutletCall Tip(U16 statusText) { return {OutletCall::Tip, 0, 0, u"Dorvane网站监控\n状态：" + statusText, {}}; }

SiteProbeTask MakeTask(int32_t number, U16View url, int32_t lastStatus = 200) {
  SiteProbeTask t;
  t.siteNumber = number;
  t.lastStatus = lastStatus;
  t.url = url;
  return t;
}

// A run of two sites.
struct TwoSiteRun {
  TaskTable tasks;
  RecordingOutlets out;
  TwoSiteRun() {
    tasks.push_back(MakeTask(1, u"http://127.0.0.1/a"));
    tasks.push_back(MakeTask(2, u"http://127.0.0.1/b"));
  }
  std::vector<OutletCall> Report(uint64_t site, int32_t status) {
    out.Clear();
    HandleSiteStatus(site, status, tasks, kNow, out);
    return out.calls;
  }
};

U16 SiteRowOf(U16View url, U16View text) { return kStamp + u" " + U16(url) + u" " + U16(text); }

}  // namespace

TEST(StatusText, EveryClassAndItsBoundaries) {
  struct Case { int32_t status; U16View text; };
  const Case cases[] = {
      {INT_MIN, u"未知状态"}, {-1, u"未知状态"}, {0, u"未知状态"}, {8, u"未知状态"},
      {9, u"线程退出"}, {10, u"本机网络断线，请检查网线是否插好"}, {11, u"本机网络恢复正常"},
      {12, u"未知状态"}, {20, u"未知状态"}, {21, u"本地网络始初化失败"},
      {22, u"不能访问网站，可能本机不能上网，或网站故障"}, {23, u"未知状态"}, {99, u"未知状态"},
      {100, u"临时响应"}, {199, u"临时响应"}, {200, u"访问正常"}, {299, u"访问正常"},
      {300, u"当前网页300跳转"}, {399, u"当前网页300跳转"}, {400, u"网页不存在"},
      {499, u"网页不存在"}, {500, u"网站服务器，内部发生错误500"},
      {599, u"网站服务器，内部发生错误500"}, {600, u"http未知状态"}, {999, u"http未知状态"},
      {INT_MAX, u"http未知状态"},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusText(c.status), c.text) << "status " << c.status;
}

// Each class with a healthy last status (200): the row, the popup and the tooltip, in order.
TEST(StatusHandler, ActionsOfEveryClassFromAHealthySite) {
  const U16 url = u"http://127.0.0.1/b";
  struct Case { int32_t status; std::vector<OutletCall> calls; int32_t lastAfter; };
  const Case cases[] = {
      {100, {Row(SiteRowOf(url, u"临时响应")), Tip(u"临时响应")}, 100},
      {199, {Row(SiteRowOf(url, u"临时响应")), Tip(u"临时响应")}, 199},
      {200, {Row(SiteRowOf(url, u"访问正常")), Tip(u"访问正常")}, 200},
      {299, {Row(SiteRowOf(url, u"访问正常")), Tip(u"访问正常")}, 299},
      {300, {Row(SiteRowOf(url, u"当前网页300跳转")), Popup(10, SiteRowOf(url, u"当前网页300跳转")),
             Tip(u"当前网页300跳转")}, 300},
      {399, {Row(SiteRowOf(url, u"当前网页300跳转")), Popup(10, SiteRowOf(url, u"当前网页300跳转")),
             Tip(u"当前网页300跳转")}, 399},
      {400, {Row(SiteRowOf(url, u"网页不存在")), Popup(10, SiteRowOf(url, u"网页不存在")),
             Tip(u"网页不存在")}, 400},
      {499, {Row(SiteRowOf(url, u"网页不存在")), Popup(10, SiteRowOf(url, u"网页不存在")),
             Tip(u"网页不存在")}, 499},
      {500, {Row(SiteRowOf(url, u"网站服务器，内部发生错误500")),
             Popup(10, SiteRowOf(url, u"网站服务器，内部发生错误500")),
             Tip(u"网站服务器，内部发生错误500")}, 500},
      {599, {Row(SiteRowOf(url, u"网站服务器，内部发生错误500")),
             Popup(10, SiteRowOf(url, u"网站服务器，内部发生错误500")),
             Tip(u"网站服务器，内部发生错误500")}, 599},
      {600, {Row(SiteRowOf(url, u"http未知状态")), Tip(u"http未知状态")}, 600},
      {INT_MAX, {Row(SiteRowOf(url, u"http未知状态")), Tip(u"http未知状态")}, INT_MAX},
      {9, {Row(kStamp + u" [2]线程退出"), Tip(u"线程退出")}, 9},
      {10, {Row(kStamp + u" 本机网络断线，请检查网线是否插好"),
            Popup(0, u"本机网络断线，请检查网线是否插好"), Tip(u"本机网络断线，请检查网线是否插好")}, 10},
      {11, {}, 200},  // not after an outage: ignored altogether
      {21, {Row(SiteRowOf(url, u"本地网络始初化失败")), Tip(u"本地网络始初化失败")}, 21},
      {22, {Row(SiteRowOf(url, u"不能访问网站，可能本机不能上网，或网站故障")),
            Popup(0, SiteRowOf(url, u"不能访问网站，可能本机不能上网，或网站故障")),
            Tip(u"不能访问网站，可能本机不能上网，或网站故障")}, 22},
      {0, {Row(u"未知状态"), Tip(u"未知状态")}, 0},
      {99, {Row(u"未知状态"), Tip(u"未知状态")}, 99},
      {-1, {Row(u"未知状态"), Tip(u"未知状态")}, -1},
      {INT_MIN, {Row(u"未知状态"), Tip(u"未知状态")}, INT_MIN},
  };
  for (const auto& c : cases) {
    TwoSiteRun run;
    EXPECT_EQ(run.Report(2, c.status), c.calls) << "status " << c.status;
    EXPECT_EQ(run.tasks[1].lastStatus, c.lastAfter) << "status " << c.status;
    EXPECT_EQ(run.tasks[0].lastStatus, 200) << "site 1 untouched, status " << c.status;
  }
}

// A 2xx pops up only when the previous status was not a 2xx (C division: -250 / 100 is -2).
TEST(StatusHandler, RecoveryPopupDependsOnTheLastStatusClass) {
  struct Case { int32_t last; bool popup; };
  const Case cases[] = {{200, false}, {250, false}, {299, false}, {199, true}, {300, true},
                        {404, true}, {0, true}, {9, true}, {10, true}, {11, true}, {22, true},
                        {-250, true}, {-199, true}, {INT_MIN, true}, {INT_MAX, true}};
  for (const auto& c : cases) {
    TwoSiteRun run;
    run.tasks[0].lastStatus = c.last;
    const auto calls = run.Report(1, 204);
    const U16 row = SiteRowOf(u"http://127.0.0.1/a", u"访问正常");
    std::vector<OutletCall> expected{Row(row)};
    if (c.popup) expected.push_back(Popup(3, row));
    expected.push_back(Tip(u"访问正常"));
    EXPECT_EQ(calls, expected) << "last status " << c.last;
    EXPECT_EQ(run.tasks[0].lastStatus, 204);
  }
}

TEST(StatusHandler, ReportsOutsideTheRunAreDropped) {
  for (uint64_t site : {uint64_t{0}, uint64_t{3}, uint64_t{INT_MAX}, uint64_t{1} << 32, UINT64_MAX}) {
    for (int32_t status : {9, 10, 11, 200, 404, 0}) {
      TwoSiteRun run;
      run.tasks[0].lastStatus = 10;
      EXPECT_TRUE(run.Report(site, status).empty()) << site << " " << status;
      EXPECT_EQ(run.tasks[0].lastStatus, 10);
      EXPECT_EQ(run.tasks[1].lastStatus, 200);
    }
  }
  TaskTable empty;
  RecordingOutlets out;
  HandleSiteStatus(1, 404, empty, kNow, out);  // a late report after the table was cleared
  EXPECT_TRUE(out.calls.empty());
}

TEST(StatusHandler, SteadyTwoHundredsNeverPopUp) {
  TwoSiteRun run;
  for (int i = 0; i < 5; ++i) {
    const auto calls = run.Report(1, 200);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], Row(SiteRowOf(u"http://127.0.0.1/a", u"访问正常")));
    EXPECT_EQ(calls[1].kind, OutletCall::Tip);
  }
}

TEST(StatusHandler, OutageThenRecoveryGivesTwoPopups) {
  TwoSiteRun run;
  std::vector<OutletCall> popups;
  for (int32_t s : {200, 404, 200, 200}) {
    for (const auto& c : run.Report(1, s))
      if (c.kind == OutletCall::Popup) popups.push_back(c);
  }
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0], Popup(10, SiteRowOf(u"http://127.0.0.1/a", u"网页不存在")));
  EXPECT_EQ(popups[1], Popup(3, SiteRowOf(u"http://127.0.0.1/a", u"访问正常")));
}

TEST(StatusHandler, EveryRedirectPopsUp) {
  TwoSiteRun run;
  for (int i = 0; i < 3; ++i) {
    const auto calls = run.Report(1, 302);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1], Popup(10, SiteRowOf(u"http://127.0.0.1/a", u"当前网页300跳转")));
  }
}

TEST(StatusHandler, NetworkOutageFoldsPerSiteAndItsEndIsAnnouncedOnce) {
  TwoSiteRun run;
  int rows = 0, popups = 0, tips = 0;
  for (int i = 0; i < 10; ++i) {
    for (const auto& c : run.Report(1, 10)) {
      rows += c.kind == OutletCall::Row;
      popups += c.kind == OutletCall::Popup;
      tips += c.kind == OutletCall::Tip;
    }
    EXPECT_EQ(run.tasks[0].lastStatus, 10);
  }
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(tips, 10);  // the tooltip is still set on every folded report

  // The other site's first outage report is not folded into site 1's.
  EXPECT_EQ(run.Report(2, 10).size(), 3u);

  // The end of the outage: popup first, then the row, then the tooltip.
  const U16 back = u"本机网络恢复正常";
  EXPECT_EQ(run.Report(1, 11),
            (std::vector<OutletCall>{Popup(5, back), Row(kStamp + u" " + back), Tip(back)}));
  EXPECT_EQ(run.tasks[0].lastStatus, 11);
  EXPECT_TRUE(run.Report(1, 11).empty());  // a second 11 is ignored
  EXPECT_EQ(run.tasks[0].lastStatus, 11);

  // The first 2xx after the outage is a recovery.
  const auto calls = run.Report(1, 200);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1], Popup(3, SiteRowOf(u"http://127.0.0.1/a", u"访问正常")));
}

TEST(StatusHandler, NetworkBackIsIgnoredUnlessTheSiteSawTheOutage) {
  for (int32_t last : {200, 404, 11, 9, 0, -10, 1010}) {
    TwoSiteRun run;
    run.tasks[0].lastStatus = last;
    EXPECT_TRUE(run.Report(1, 11).empty()) << last;
    EXPECT_EQ(run.tasks[0].lastStatus, last);
  }
}

TEST(StatusHandler, NetworkDownAfterAnotherStatusLogsAgain) {
  TwoSiteRun run;
  run.Report(1, 10);
  run.Report(1, 404);  // e.g. a report that was queued before the outage
  EXPECT_EQ(run.Report(1, 10).size(), 3u);
}

TEST(StatusHandler, WorkerEndRowCarriesTheSiteNumberAndMakesTheNextSuccessARecovery) {
  TwoSiteRun run;
  EXPECT_EQ(run.Report(1, 9), (std::vector<OutletCall>{Row(kStamp + u" [1]线程退出"), Tip(u"线程退出")}));
  EXPECT_EQ(run.Report(1, 200).size(), 3u);
}

TEST(StatusHandler, StampUsesTheGivenLocalTime) {
  TwoSiteRun run;
  const LocalTime t{2026, 12, 31, 0, 0, 9};
  RecordingOutlets out;
  HandleSiteStatus(1, 500, run.tasks, t, out);
  ASSERT_FALSE(out.calls.empty());
  EXPECT_EQ(out.calls[0].text, u"2026-12-31 00:00:09 http://127.0.0.1/a 网站服务器，内部发生错误500");
}

// A long address (a signed or tracking link) and the longest status text: the row and the popup
// show the whole address, as typed.
TEST(StatusHandler, LongAddressesAreShownWhole) {
  TwoSiteRun run;
  const U16 longUrl = u"http://127.0.0.1/" + U16(400, u'x');
  run.tasks[0].url = longUrl;
  const auto calls = run.Report(1, 22);
  ASSERT_EQ(calls.size(), 3u);
  const U16 row = kStamp + u" " + longUrl + u" 不能访问网站，可能本机不能上网，或网站故障";
  EXPECT_EQ(calls[0].text, row);
  EXPECT_EQ(calls[1].text, row);
}
