#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/run_control.h"
#include "monitor/run_flags.h"
#include "tests/run_control/fake_run_host.h"

namespace {

const std::string kTitle = "Dorvane提示";
std::string Stamp(int second) { return "2014-5-7 09:03:" + std::string(second < 10 ? "0" : "") + std::to_string(second); }
std::string RowAt(int second, const std::string& text) { return "row:" + Stamp(second) + " " + text; }

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetStopRequested(0);
    SetExitRequested(0);
    threads.onStatus = [this](uint64_t n, int32_t s) { run.OnSiteStatus(n, s); };
  }
  void TearDown() override { threads.onStatus = nullptr; }

  // Events from index `from` on.
  std::vector<std::string> EventsFrom(size_t from) const {
    return {window.events.begin() + static_cast<std::ptrdiff_t>(from), window.events.end()};
  }
  static long Count(const std::vector<std::string>& events, const std::string& suffix) {
    return std::count_if(events.begin(), events.end(),
                         [&](const std::string& e) { return StartsWith(e, "row:") && EndsWith(e, suffix); });
  }
  static ptrdiff_t IndexOf(const std::vector<std::string>& events, const std::string& exact) {
    const auto it = std::find(events.begin(), events.end(), exact);
    return it == events.end() ? -1 : it - events.begin();
  }
  static ptrdiff_t LastIndexEndingWith(const std::vector<std::string>& events, const std::string& suffix) {
    for (size_t i = events.size(); i-- > 0;)
      if (EndsWith(events[i], suffix)) return static_cast<ptrdiff_t>(i);
    return -1;
  }

  fake::FakeThreads threads;
  fake::FakeWindow window;
  RunControl run{threads, window};
};

const U16 kThreeSites =
    u"  http://127.0.0.1:1/a  \r\n\r\n\u3000http://127.0.0.1:1/b\r\nhttp://127.0.0.1:1/c\r\n";
const std::string kThreeJoined = "http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b\r\nhttp://127.0.0.1:1/c";

}  // namespace

TEST_F(RunControlTest, StartOfThreeSitesWritesRowsInCreationOrderAndStoresTheList) {
  std::mutex mu;
  std::vector<const SiteProbeTask*> seen;  // the address each worker was given
  threads.body = [&](SiteProbeTask& task, fake::FakeThreads& host) {
    {
      std::lock_guard<std::mutex> lock(mu);
      seen.push_back(&task);
    }
    fake::FakeThreads::DefaultWorker(task, host);
  };
  window.editText = kThreeSites;
  window.settings = {900, 1, 10};
  SetStopRequested(1);

  run.OnStart();

  EXPECT_EQ(window.events, (std::vector<std::string>{
                               "buttons:01",
                               RowAt(0, "线程[1]启动"),
                               RowAt(1, "线程[2]启动"),
                               RowAt(2, "线程[3]启动"),
                               RowAt(2, "监控开始运行"),  // the time read last
                               "edit:" + kThreeJoined,
                               "store:" + kThreeJoined,
                               "popup:1:3:监控开始运行...:" + kTitle,
                           }));
  EXPECT_EQ(g_stopRequested.load(), 0);
  EXPECT_TRUE(run.RunActive());
  ASSERT_EQ(run.Tasks().size(), 3u);
  const char16_t* urls[] = {u"http://127.0.0.1:1/a", u"http://127.0.0.1:1/b", u"http://127.0.0.1:1/c"};
  for (size_t i = 0; i < 3; ++i) {
    const SiteProbeTask& t = run.Tasks()[i];
    EXPECT_EQ(t.siteNumber, static_cast<int32_t>(i + 1));
    EXPECT_EQ(t.checkIntervalSeconds, 900);
    EXPECT_EQ(t.retryCount, 1);
    EXPECT_EQ(t.retryIntervalSeconds, 10);
    EXPECT_EQ(t.lastStatus, 200);
    EXPECT_EQ(t.notifyWindow, &window.notifyWindowTag);
    EXPECT_EQ(U16(t.url), urls[i]);
    EXPECT_NE(t.threadHandle, nullptr);
  }
  std::vector<const SiteProbeTask*> stored;
  for (const auto& t : run.Tasks()) stored.push_back(&t);
  run.OnStop();  // every worker has ended after this
  EXPECT_TRUE(run.Tasks().empty());
  // Every worker was given the address of its record in the table.
  std::sort(seen.begin(), seen.end());
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(seen, stored);
}

TEST_F(RunControlTest, StartWithAnEmptyEditBoxChangesNothing) {
  window.editText.clear();
  SetStopRequested(1);
  run.OnStart();
  EXPECT_TRUE(window.events.empty());
  EXPECT_EQ(window.settingsReads, 0);
  EXPECT_EQ(threads.CreatedCount(), 0u);
  EXPECT_EQ(g_stopRequested.load(), 1);
  EXPECT_FALSE(run.RunActive());
  EXPECT_EQ(run.LineList(), nullptr);
  run.OnStop();  // no run: Stop is not reachable and does nothing
  EXPECT_TRUE(window.events.empty());
}

TEST_F(RunControlTest, BlankLinesOnlyStartsARunWithoutSitesThatStopsCleanly) {
  window.editText = u"  \r\n\u3000 \r\n\r\n";
  run.OnStart();
  EXPECT_EQ(window.events, (std::vector<std::string>{
                               "buttons:01",
                               RowAt(0, "监控开始运行"),
                               "edit:",
                               "store:",
                               "popup:1:3:监控开始运行...:" + kTitle,
                           }));
  EXPECT_EQ(threads.CreatedCount(), 0u);
  ASSERT_NE(run.LineList(), nullptr);
  EXPECT_EQ(run.LineList()->Count(), 0u);

  const size_t mark = window.events.size();
  run.OnStop();
  EXPECT_EQ(EventsFrom(mark), (std::vector<std::string>{
                                  RowAt(1, "停止中..."),
                                  "buttons:00",
                                  "popup:0:0::" + kTitle,
                                  "tip:Dorvane网站监控",
                                  "buttons:10",
                                  RowAt(2, "监控停止!"),
                              }));
  EXPECT_FALSE(run.RunActive());
}

TEST_F(RunControlTest, StopHandlesQueuedReportsAndEveryWorkerEndBeforeEnablingStart) {
  threads.body = [](SiteProbeTask& task, fake::FakeThreads& host) {
    host.Post(static_cast<uint64_t>(task.siteNumber), 200);
    fake::FakeThreads::DefaultWorker(task, host);
  };
  window.editText = kThreeSites;
  run.OnStart();
  const size_t mark = window.events.size();
  run.OnStop();
  const auto ev = EventsFrom(mark);

  ASSERT_GE(ev.size(), 4u);
  EXPECT_TRUE(StartsWith(ev[0], "row:") && EndsWith(ev[0], " 停止中...")) << ev[0];
  EXPECT_EQ(ev[1], "buttons:00");
  EXPECT_EQ(ev[2], "popup:0:0::" + kTitle);
  EXPECT_EQ(ev[3], "tip:Dorvane网站监控");
  for (const char* site : {"[1]线程退出", "[2]线程退出", "[3]线程退出"}) EXPECT_EQ(Count(ev, site), 1) << site;
  EXPECT_EQ(Count(ev, "访问正常"), 3);  // the reports still queued are handled during the wait
  // Start comes back only after the last worker's end, and the stopped row is the newest.
  const ptrdiff_t enabled = IndexOf(ev, "buttons:10");
  ASSERT_GE(enabled, 0);
  EXPECT_GT(enabled, LastIndexEndingWith(ev, "线程退出"));
  EXPECT_TRUE(EndsWith(ev.back(), " 监控停止!")) << ev.back();
  EXPECT_EQ(enabled, static_cast<ptrdiff_t>(ev.size()) - 2);

  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 2, 3}));
  const auto waited = threads.WaitedSites();
  EXPECT_TRUE(std::is_sorted(waited.begin(), waited.end()));  // table order
  EXPECT_TRUE(run.Tasks().empty());
  EXPECT_FALSE(run.RunActive());
  EXPECT_EQ(g_stopRequested.load(), 1);

  // A report that arrives after the table was cleared is dropped.
  const size_t after = window.events.size();
  run.OnSiteStatus(1, 404);
  EXPECT_EQ(window.events.size(), after);
}

TEST_F(RunControlTest, SecondStartNumbersFromOneWithFreshRecords) {
  threads.body = [](SiteProbeTask& task, fake::FakeThreads& host) {
    host.Post(static_cast<uint64_t>(task.siteNumber), 404);
    fake::FakeThreads::DefaultWorker(task, host);
  };
  window.editText = u"http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b";
  run.OnStart();
  ASSERT_TRUE(threads.PumpUntil([&] { return run.Tasks()[0].lastStatus == 404 && run.Tasks()[1].lastStatus == 404; }));
  run.OnStop();

  threads.body = fake::FakeThreads::DefaultWorker;
  window.editText = kThreeSites;
  const size_t mark = window.events.size();
  run.OnStart();
  const auto ev = EventsFrom(mark);
  ASSERT_GE(ev.size(), 4u);
  EXPECT_TRUE(EndsWith(ev[1], " 线程[1]启动"));
  EXPECT_TRUE(EndsWith(ev[2], " 线程[2]启动"));
  EXPECT_TRUE(EndsWith(ev[3], " 线程[3]启动"));
  ASSERT_EQ(run.Tasks().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(run.Tasks()[i].siteNumber, static_cast<int32_t>(i + 1));
    EXPECT_EQ(run.Tasks()[i].lastStatus, 200);  // nothing of the first run's 404s remains
  }
  EXPECT_EQ(U16(run.Tasks()[0].url), u"http://127.0.0.1:1/a");
  EXPECT_EQ(threads.CreatedCount(), 5u);
  run.OnStop();
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 2, 1, 2, 3}));
}

TEST_F(RunControlTest, FailedThreadCreationIsLoggedAndSkippedAtStop) {
  threads.failSites = {2};
  window.editText = kThreeSites;
  run.OnStart();
  EXPECT_EQ(window.events[1], RowAt(0, "线程[1]启动"));
  EXPECT_EQ(window.events[2], RowAt(1, "线程[2]启动失败!"));
  EXPECT_EQ(window.events[3], RowAt(2, "线程[3]启动"));
  ASSERT_EQ(run.Tasks().size(), 3u);
  EXPECT_EQ(run.Tasks()[1].threadHandle, nullptr);
  EXPECT_EQ(run.Tasks()[1].siteNumber, 2);

  const size_t mark = window.events.size();
  run.OnStop();
  const auto ev = EventsFrom(mark);
  EXPECT_EQ(threads.WaitedSites(), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(Count(ev, "[2]线程退出"), 0);
  EXPECT_EQ(Count(ev, "[1]线程退出") + Count(ev, "[3]线程退出"), 2);
  EXPECT_TRUE(EndsWith(ev.back(), " 监控停止!"));
  EXPECT_TRUE(run.Tasks().empty());
}

TEST_F(RunControlTest, LeavingDuringARunSavesFirstWritesNoStopRowsAndEndsEveryWorker) {
  window.editText = kThreeSites;
  run.OnStart();
  const size_t mark = window.events.size();
  run.OnDestroy();
  const auto ev = EventsFrom(mark);

  ASSERT_FALSE(ev.empty());
  EXPECT_EQ(ev.front(), "save");  // before any waiting
  EXPECT_EQ(Count(ev, "线程退出"), 3);
  EXPECT_EQ(Count(ev, " 停止中..."), 0);
  EXPECT_EQ(Count(ev, " 监控停止!"), 0);
  EXPECT_EQ(ev.back(), "buttons:10");
  EXPECT_EQ(g_exitRequested.load(), 1);
  EXPECT_EQ(g_stopRequested.load(), 1);
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(run.Tasks().empty());
  EXPECT_EQ(run.LineList(), nullptr);

  // Nothing is started or stopped any more.
  const size_t end = window.events.size();
  run.OnStart();
  run.OnStop();
  EXPECT_EQ(window.events.size(), end);
}

TEST_F(RunControlTest, LeavingWithoutARunOnlySaves) {
  run.OnDestroy();
  EXPECT_EQ(window.events, (std::vector<std::string>{"save", "buttons:10"}));
  EXPECT_EQ(g_exitRequested.load(), 1);
}

// The window is destroyed (tray menu exit) while Stop waits: the destruction's StopWorkers runs
// inside the first one's dispatching and does the whole job; the outer one must not wait on or
// close the handles it closed, nor write the stopped row into the gone window.
TEST_F(RunControlTest, DestructionDuringAStopsWaitEndsTheRunOnce) {
  window.editText = kThreeSites;
  run.OnStart();
  threads.PostCall([this] { run.OnDestroy(); });  // handled during the first wait
  const size_t mark = window.events.size();
  run.OnStop();
  const auto ev = EventsFrom(mark);

  EXPECT_TRUE(EndsWith(ev.front(), " 停止中..."));
  const ptrdiff_t saved = IndexOf(ev, "save");
  ASSERT_GE(saved, 0);
  EXPECT_LT(saved, LastIndexEndingWith(ev, "线程退出"));
  EXPECT_EQ(Count(ev, "线程退出"), 3);
  EXPECT_EQ(std::count(ev.begin(), ev.end(), "buttons:10"), 1);
  EXPECT_EQ(Count(ev, " 监控停止!"), 0);
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(run.Tasks().empty());
  EXPECT_FALSE(run.RunActive());
}

// The same with the destruction arriving while the second worker is waited for, after the first
// has ended: the outer call had moved past one handle already.
TEST_F(RunControlTest, DestructionWhileWaitingForALaterWorker) {
  threads.body = [this](SiteProbeTask& task, fake::FakeThreads& host) {
    host.WaitForStopFlag();
    if (task.siteNumber == 2) host.PostCall([this] { run.OnDestroy(); });
    host.Send(static_cast<uint64_t>(task.siteNumber), 9);
  };
  window.editText = kThreeSites;
  run.OnStart();
  const size_t mark = window.events.size();
  run.OnStop();
  const auto ev = EventsFrom(mark);
  EXPECT_EQ(Count(ev, "线程退出"), 3);
  EXPECT_EQ(IndexOf(ev, "save") >= 0, true);
  EXPECT_EQ(Count(ev, " 监控停止!"), 0);
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(run.Tasks().empty());
}

TEST_F(RunControlTest, ChangesToTheListsAndTheEditBoxDuringARunChangeNothing) {
  window.editText = u"http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b";
  window.settings = {900, 1, 10};
  run.OnStart();
  window.settings = {30, 3, 300};
  window.editText = u"http://127.0.0.1:1/other";
  run.OnStart();  // Start is not reachable during a run; a stray call must not add sites
  EXPECT_EQ(run.Tasks().size(), 2u);
  for (const auto& t : run.Tasks()) {
    EXPECT_EQ(t.checkIntervalSeconds, 900);
    EXPECT_EQ(t.retryCount, 1);
    EXPECT_EQ(t.retryIntervalSeconds, 10);
  }
  run.OnStop();
  EXPECT_EQ(window.settingsReads, 1);
  EXPECT_EQ(window.editReads, 1);
  EXPECT_EQ(window.editText, u"http://127.0.0.1:1/other");  // Stop leaves the edit box alone
  EXPECT_EQ(threads.CreatedCount(), 2u);
}

TEST_F(RunControlTest, UnstorableListShowsNoPopupButTheRunGoesOn) {
  window.editText = u"http://127.0.0.1:1/a";
  window.siteFileOpens = false;
  run.OnStart();
  EXPECT_EQ(window.events.back(), "store:http://127.0.0.1:1/a (not opened)");
  EXPECT_TRUE(run.RunActive());
  EXPECT_EQ(run.Tasks().size(), 1u);
  run.OnStop();
}

// The whole text of the edit box is normalised, however long, and every line is kept whole.
TEST_F(RunControlTest, TheWholeEditTextIsNormalised) {
  U16 text;
  for (int i = 0; i < 15; ++i) text += u"http://127.0.0.1/" + U16(83, static_cast<char16_t>(u'a' + i)) + u"\r\n";
  ASSERT_EQ(text.size(), 15u * 102);
  window.editText = text;
  run.OnStart();
  ASSERT_EQ(run.Tasks().size(), 15u);
  EXPECT_EQ(run.Tasks()[14].url, u"http://127.0.0.1/" + U16(83, u'o'));
  EXPECT_EQ(window.editText, text.substr(0, text.size() - 2));  // only the last CR LF goes
  run.OnStop();

  const U16 longUrl = u"http://127.0.0.1/" + U16(500, u'z');
  window.editText = longUrl;
  run.OnStart();
  ASSERT_EQ(run.Tasks().size(), 1u);
  EXPECT_EQ(run.Tasks()[0].url, longUrl);
  run.OnStop();
}

// A wait that fails says nothing about the worker: it may still run and read its record, so
// the record and its handle stay alive (ASan catches a read of a freed record). Start stays
// unavailable until that worker's last report, so the stop flag stays raised under it and
// none of its reports can land on a later run's site of the same number.
TEST_F(RunControlTest, AFailedWaitKeepsTheWorkersRecordAndStartUntilItsLastReport) {
  // Shared with the workers, which outlive this body (the fixture joins them).
  struct Shared {
    std::atomic<bool> release{false};
    std::atomic<int> readsAfterStop{0};
  };
  const auto shared = std::make_shared<Shared>();
  auto& [release, readsAfterStop] = *shared;
  threads.failWaitSites = {2};
  threads.body = [shared](SiteProbeTask& task, fake::FakeThreads& host) {
    auto& [release, readsAfterStop] = *shared;
    host.WaitForStopFlag();
    if (task.siteNumber == 2) {
      const U16 url = task.url;
      while (!release) {  // still reading its record after the Stop has returned
        EXPECT_EQ(task.url, url);
        ++readsAfterStop;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_TRUE(StopRequested());  // no later Start lowered the flag under it
      host.Post(2, 404);             // a late report of the ended run
    }
    host.Send(static_cast<uint64_t>(task.siteNumber), 9);
  };
  window.editText = kThreeSites;
  run.OnStart();
  run.OnStop();
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 3}));
  EXPECT_TRUE(run.Tasks().empty());
  EXPECT_TRUE(run.WaitingForSetAsideWorkers());
  EXPECT_EQ(IndexOf(window.events, "buttons:10"), -1);  // Start was never made available
  EXPECT_EQ(Count(window.events, " [2]线程退出"), 0);
  EXPECT_TRUE(EndsWith(window.events.back(), " 监控停止!"));

  const auto deadline = std::chrono::steady_clock::now() + fake::kDeadline;
  while (readsAfterStop < 20 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GE(readsAfterStop, 20);
  run.OnStart();  // the worker still runs: refused
  EXPECT_EQ(threads.CreatedCount(), 3u);
  EXPECT_TRUE(run.Tasks().empty());

  const size_t mark = window.events.size();
  release = true;
  ASSERT_TRUE(threads.PumpUntil([&] { return !run.WaitingForSetAsideWorkers(); }));
  // The late 404 went nowhere; the worker's end is logged and Start comes back.
  const auto late = EventsFrom(mark);
  EXPECT_EQ(Count(late, "网页不存在"), 0);
  EXPECT_EQ(Count(late, " [2]线程退出"), 1);
  EXPECT_EQ(late.back(), "buttons:10");

  threads.failWaitSites.clear();
  run.OnStart();
  ASSERT_EQ(run.Tasks().size(), 3u);
  run.OnStop();
  EXPECT_EQ(threads.closedSites, (std::vector<int32_t>{1, 3, 1, 2, 3}));
}

// The alerts hear every report of the run after its row, with the site's address, and the run's
// end once its last worker has ended; nothing of a report that belongs to no run.
TEST_F(RunControlTest, TheObserverHearsEachHandledReportAndTheRunsEnd) {
  struct Observer final : IReportObserver {
    fake::FakeWindow* window = nullptr;
    void OnReportHandled(const HandledReport& r) override {
      window->events.push_back("observed:" + std::to_string(r.siteNumber) + ":" + std::to_string(r.status) + ":" +
                               Utf8FromU16(r.url) + ":" + Utf8FromU16(FormatLogTime(r.time)));
    }
    void OnRunEnded() override { window->events.push_back("run-ended"); }
  } observer;
  observer.window = &window;
  run.SetReportObserver(&observer);
  threads.body = [](SiteProbeTask& task, fake::FakeThreads& host) {
    host.Post(static_cast<uint64_t>(task.siteNumber), 404);
    fake::FakeThreads::DefaultWorker(task, host);
  };
  window.editText = kThreeSites;
  run.OnStart();
  run.OnStop();
  run.OnSiteStatus(1, 200);  // late: the table is gone

  std::vector<std::string> observed;
  for (size_t i = 0; i < window.events.size(); ++i) {
    const std::string& e = window.events[i];
    if (!StartsWith(e, "observed:") && e != "run-ended") continue;
    observed.push_back(e);
    // Each report is observed right after its own row, stamped as the row is.
    if (StartsWith(e, "observed:")) {
      size_t row = i;
      while (row > 0 && !StartsWith(window.events[--row], "row:")) {}
      EXPECT_TRUE(StartsWith(window.events[row], "row:" + e.substr(e.size() - Stamp(0).size()))) << e;
    }
  }
  ASSERT_EQ(observed.size(), 7u);
  for (int site = 1; site <= 3; ++site) {
    const std::string url = "http://127.0.0.1:1/" + std::string(1, static_cast<char>('a' + site - 1));
    EXPECT_EQ(std::count_if(observed.begin(), observed.end(), [&](const std::string& e) {
                return StartsWith(e, "observed:" + std::to_string(site) + ":404:" + url + ":");
              }), 1);
    EXPECT_EQ(std::count_if(observed.begin(), observed.end(), [&](const std::string& e) {
                return StartsWith(e, "observed:" + std::to_string(site) + ":9:" + url + ":");
              }), 1);
  }
  EXPECT_EQ(observed.back(), "run-ended");
  run.SetReportObserver(nullptr);
}
