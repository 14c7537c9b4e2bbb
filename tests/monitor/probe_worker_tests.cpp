// The probe worker's loop on a fake clock: when it probes, what it reports and when, how it
// retries, how the network watch freezes the countdown, and how the flags end it.
#include <gtest/gtest.h>

#include <cstring>

#include "monitor/probe_worker.h"
#include "monitor/run_flags.h"
#include "tests/monitor/fake_probe_environment.h"

namespace {

class ProbeWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetStopRequested(0);
    SetExitRequested(0);
    task.siteNumber = 3;
    task.checkIntervalSeconds = 30;
    task.retryCount = 2;
    task.retryIntervalSeconds = 10;
    task.lastStatus = 200;
    task.notifyWindow = &window;
    task.url = u"http://127.0.0.1:1/site";
  }
  void TearDown() override {
    SetStopRequested(0);
    SetExitRequested(0);
  }
  // Runs the worker until the clock reaches stopAt, then checks that it ended properly.
  void RunUntil(int64_t stopAt) {
    env.stopAt = stopAt;
    EXPECT_EQ(RunSiteProbeWorker(task, env), 0u);
    EXPECT_FALSE(env.ranIntoSafetyLimit);
    ASSERT_EQ(env.sent.size(), 1u);
    EXPECT_EQ(env.sent[0].status, kStatusWorkerEnded);
    EXPECT_EQ(env.sent[0].siteNumber, 3);
  }

  int window = 0;
  SiteProbeTask task;
  FakeProbeEnvironment env;
};

using Reports = std::vector<TimedReport>;
using Times = std::vector<int64_t>;
using Statuses = std::vector<ProbeStatus>;

}  // namespace

// ---- timing of probes

TEST_F(ProbeWorkerTest, FirstProbeOneSecondBeforeTheIntervalThenEveryInterval) {
  RunUntil(100);
  EXPECT_EQ(env.probeTimes, (Times{29, 59, 89}));
  EXPECT_EQ(env.posted, (Reports{{29, 3, 200}, {59, 3, 200}, {89, 3, 200}}));
  EXPECT_EQ(env.probedUrl, u"http://127.0.0.1:1/site");
  EXPECT_EQ(env.lastWindow, &window);
}

TEST_F(ProbeWorkerTest, RedirectsAndInterimAnswersAreReportedOnEveryProbeLikeSuccess) {
  env.probe = [](int i, int64_t) { return FakeProbeEnvironment::Answer(i == 0 ? 301 : 302); };
  RunUntil(61);
  EXPECT_EQ(env.posted, (Reports{{29, 3, 301}, {59, 3, 302}}));
}

TEST_F(ProbeWorkerTest, IntervalsAreReadFromTheRecordWhenNeeded) {
  // The worker takes each interval from the record at the moment it sets the countdown: the
  // probe that changes it has already set the countdown from the old value.
  env.probe = [this](int i, int64_t) {
    if (i == 0) task.checkIntervalSeconds = 5;
    return FakeProbeEnvironment::Answer(200);
  };
  RunUntil(70);
  EXPECT_EQ(env.probeTimes, (Times{29, 59, 64, 69}));
}

// ---- retry budget

TEST_F(ProbeWorkerTest, HttpFailureIsReportedOnlyWhenTheRetriesAreUsedUp) {
  env.probe = [](int, int64_t) { return FakeProbeEnvironment::Answer(404); };
  RunUntil(140);
  // Failures at t, t+10, t+20; only the third is posted; the next comes a full interval later.
  EXPECT_EQ(env.probeTimes, (Times{29, 39, 49, 79, 89, 99, 129, 139}));
  EXPECT_EQ(env.posted, (Reports{{49, 3, 404}, {99, 3, 404}}));
}

TEST_F(ProbeWorkerTest, SuccessClearsTheHttpFailureCount) {
  task.retryCount = 1;
  // 404, 200, 404, 404: the first 404 is forgotten by the 200; the last two use up the budget.
  const int codes[] = {404, 200, 500, 404, 200};
  env.probe = [&](int i, int64_t) { return FakeProbeEnvironment::Answer(codes[i % 5]); };
  RunUntil(110);
  EXPECT_EQ(env.probeTimes, (Times{29, 39, 69, 79, 109}));
  EXPECT_EQ(env.posted, (Reports{{39, 3, 200}, {79, 3, 404}, {109, 3, 200}}));
  // The trace shows the failure count as it stood before each probe.
  EXPECT_EQ(env.traces[0], "[3]Access Failure!  HTTP_STATUS_CODE:404  status:404 ,Error:0");
  EXPECT_EQ(env.traces[1], "[3]Access Successful!  HTTP_STATUS_CODE:200  status:200 ,Error:1");
  EXPECT_EQ(env.traces[2], "[3]Access Failure!  HTTP_STATUS_CODE:500  status:500 ,Error:0");
  EXPECT_EQ(env.traces[3], "[3]Access Failure!  HTTP_STATUS_CODE:404  status:404 ,Error:1");
  EXPECT_EQ(env.traces[4], "[3]Access Successful!  HTTP_STATUS_CODE:200  status:200 ,Error:0");
}

TEST_F(ProbeWorkerTest, UnreachableAddressIsReportedOnTheSecondFailureWithOneRetry) {
  task.retryCount = 1;
  env.probe = [](int, int64_t) { return FakeProbeEnvironment::Unreachable(); };
  RunUntil(100);
  // The failed open does not sleep, so each next attempt comes a second early.
  EXPECT_EQ(env.probeTimes, (Times{29, 38, 67, 76}));
  EXPECT_EQ(env.posted, (Reports{{38, 3, 22}, {76, 3, 22}}));
  EXPECT_EQ(env.traces[0], "[3]InternetOpenUrl fail!status:1");
  EXPECT_EQ(env.traces[1], "[3]InternetOpenUrl fail!status:2");
  EXPECT_EQ(env.traces[2], "[3]InternetOpenUrl fail!status:1");
}

TEST_F(ProbeWorkerTest, UnreachableAttemptsThatTakeTimeShiftTheSchedule) {
  task.retryCount = 1;
  env.probeDuration = 21;  // a connection time-out
  env.probe = [](int, int64_t) { return FakeProbeEnvironment::Unreachable(); };
  RunUntil(120);
  EXPECT_EQ(env.probeTimes, (Times{29, 59, 109}));
  EXPECT_EQ(env.posted, (Reports{{80, 3, 22}}));  // posted when the second attempt has ended
}

TEST_F(ProbeWorkerTest, OpenFailuresAndHttpFailuresAreCountedApart) {
  task.retryCount = 1;
  // An open failure between two 404s neither clears nor advances the HTTP count.
  const HttpProbeResult first[] = {FakeProbeEnvironment::Answer(404), FakeProbeEnvironment::Unreachable(),
                                   FakeProbeEnvironment::Answer(404)};
  env.probe = [&](int i, int64_t) { return i < 3 ? first[i] : FakeProbeEnvironment::Answer(200); };
  RunUntil(60);
  EXPECT_EQ(env.probeTimes, (Times{29, 39, 48}));
  EXPECT_EQ(env.PostedStatuses(), (Statuses{404}));

  // An answered probe (even a failed one) resets the open-failure count.
  env = FakeProbeEnvironment{};
  SetStopRequested(0);
  const HttpProbeResult second[] = {FakeProbeEnvironment::Unreachable(), FakeProbeEnvironment::Answer(404),
                                    FakeProbeEnvironment::Unreachable(), FakeProbeEnvironment::Answer(200)};
  env.probe = [&](int i, int64_t) { return second[i % 4]; };
  RunUntil(60);
  EXPECT_EQ(env.probeTimes, (Times{29, 38, 48, 57}));
  EXPECT_EQ(env.PostedStatuses(), (Statuses{200}));
}

TEST_F(ProbeWorkerTest, NoInternetHandleIsNotReportedAndWaitsAFullInterval) {
  task.retryCount = 1;
  const HttpProbeResult answers[] = {FakeProbeEnvironment::NoInternetHandle(), FakeProbeEnvironment::NoInternetHandle(),
                                     FakeProbeEnvironment::Answer(404), FakeProbeEnvironment::NoInternetHandle(),
                                     FakeProbeEnvironment::Answer(404)};
  env.probe = [&](int i, int64_t) { return i < 5 ? answers[i] : FakeProbeEnvironment::Answer(200); };
  RunUntil(140);
  // A missing handle posts nothing and the next attempt comes a full interval later, even when
  // it interrupts retries. It does not count against the budget either: 404, no handle, 404 is
  // the second failure, and that one is posted.
  EXPECT_EQ(env.probeTimes, (Times{29, 59, 89, 99, 129}));
  EXPECT_EQ(env.posted, (Reports{{129, 3, 404}}));
  EXPECT_EQ(env.traces[0], "[3]InternetOpen fail!status:21");
  EXPECT_EQ(env.traces[3], "[3]InternetOpen fail!status:21");
}

TEST_F(ProbeWorkerTest, FailedStatusQueryReadsAsZeroAndCountsAsFailure) {
  task.retryCount = 1;
  env.probe = [](int, int64_t) { return FakeProbeEnvironment::AnswerText(u"", false); };
  RunUntil(50);
  EXPECT_EQ(env.probeTimes, (Times{29, 39}));
  EXPECT_EQ(env.posted, (Reports{{39, 3, 0}}));
  EXPECT_EQ(env.traces[0], "[3]Access Failure!  HTTP_STATUS_CODE:0  status:0 ,Error:0");
}

// ---- network watch

TEST_F(ProbeWorkerTest, NetworkOutageFreezesTheCountdownAndIsReportedEveryTick) {
  env.networkUp = [](int64_t t) { return t < 10 || t > 14; };
  RunUntil(70);
  Reports expected;
  for (int64_t t = 10; t <= 14; ++t) expected.push_back({t, 3, kStatusNetworkDown});
  expected.push_back({15, 3, kStatusNetworkBack});
  expected.push_back({34, 3, 200});  // the countdown resumed where it stood: 5 seconds late
  expected.push_back({64, 3, 200});
  EXPECT_EQ(env.posted, expected);
  EXPECT_EQ(env.probeTimes, (Times{34, 64}));
  EXPECT_EQ(env.traces[0], "网络不通");
  EXPECT_EQ(env.traces[4], "网络不通");
  EXPECT_EQ(env.traces[5], "网络恢复正常");
}

TEST_F(ProbeWorkerTest, NetworkBackIsReportedOncePerOutageAndNotAtStart) {
  env.networkUp = [](int64_t t) { return t != 3 && t != 7; };
  RunUntil(12);
  EXPECT_EQ(env.PostedStatuses(), (Statuses{10, 11, 10, 11}));
  EXPECT_EQ(env.PostTimes(), (Times{3, 4, 7, 8}));
}

// ---- ending

TEST_F(ProbeWorkerTest, StopDuringAProbeLetsItFinishAndBeReported) {
  env.probe = [](int, int64_t) {
    SetStopRequested(1);
    return FakeProbeEnvironment::Answer(200);
  };
  EXPECT_EQ(RunSiteProbeWorker(task, env), 0u);
  EXPECT_EQ(env.posted, (Reports{{29, 3, 200}}));
  EXPECT_EQ(env.sent, (Reports{{30, 3, 9}}));
  EXPECT_EQ(env.networkAskTimes.size(), 30u);  // no pass began after the stop
  EXPECT_EQ(env.traces.back(), "线程退出");
}

TEST_F(ProbeWorkerTest, ExitBeforeStartSendsOnlyTheEndReport) {
  SetExitRequested(1);
  EXPECT_EQ(RunSiteProbeWorker(task, env), 0u);
  EXPECT_TRUE(env.posted.empty());
  EXPECT_TRUE(env.networkAskTimes.empty());
  EXPECT_EQ(env.sent, (Reports{{0, 3, 9}}));
  EXPECT_EQ(env.traces, (std::vector<std::string>{"线程退出"}));
}

TEST_F(ProbeWorkerTest, ExitIsSeenAtTheBottomOfThePass) {
  env.afterSleep = [](int64_t t) {
    if (t == 5) SetExitRequested(1);
  };
  EXPECT_EQ(RunSiteProbeWorker(task, env), 0u);
  EXPECT_EQ(env.networkAskTimes, (Times{0, 1, 2, 3, 4}));
  EXPECT_EQ(env.sent, (Reports{{5, 3, 9}}));
}

TEST_F(ProbeWorkerTest, AProbeAbandonedAtExitCountsForNothingAndEndsTheWorker) {
  task.retryCount = 1;
  env.probe = [](int index, int64_t) {
    if (index == 0) return FakeProbeEnvironment::Unreachable();  // one open failure on the books
    SetExitRequested(1);
    HttpProbeResult r;
    r.outcome = HttpProbeResult::Outcome::kAbandoned;
    return r;
  };
  EXPECT_EQ(RunSiteProbeWorker(task, env), 0u);
  // The second attempt would have used up the budget; abandoned, it reports nothing.
  EXPECT_EQ(env.probeTimes, (Times{29, 38}));
  EXPECT_TRUE(env.posted.empty());
  EXPECT_EQ(env.sent, (Reports{{38, 3, 9}}));
  EXPECT_EQ(env.traces, (std::vector<std::string>{"[3]InternetOpenUrl fail!status:1", "线程退出"}));
}

TEST_F(ProbeWorkerTest, StopBeforeTheFirstPassEndsWithoutProbing) {
  SetStopRequested(1);
  EXPECT_EQ(RunSiteProbeWorker(task, env), 0u);
  EXPECT_TRUE(env.networkAskTimes.empty());
  EXPECT_EQ(env.sent.size(), 1u);
}

// ---- classification

TEST(ProbeClassification, ClassBoundaries) {
  struct Case {
    int code;
    bool okWhenQueried;  // success when the query succeeded
    bool okWhenNot;      // success when it failed
  };
  const Case cases[] = {
      {0, false, false},   {99, true, false},   {100, true, false},  {199, true, false},  {200, true, true},
      {299, true, true},   {300, true, true},   {399, true, true},   {400, false, false}, {499, false, false},
      {500, false, false}, {599, false, false}, {600, true, false},  {999, true, false},  {-404, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsProbeSuccess(c.code, true), c.okWhenQueried) << c.code;
    EXPECT_EQ(IsProbeSuccess(c.code, false), c.okWhenNot) << c.code;
  }
}

TEST_F(ProbeWorkerTest, StatusTextIsReadByItsLeadingDigitsAndClassified) {
  // One probe per case with a retry count of 1: a success is posted at once, a failure is not.
  struct Case {
    const char16_t* text;
    bool queryOk;
    bool posted;
    ProbeStatus status;
  };
  const Case cases[] = {
      {u"199", true, true, 199},   {u"199", false, false, 199}, {u"200", false, true, 200},
      {u"399", false, true, 399},  {u"400", true, false, 400},  {u"599", true, false, 599},
      {u"600", true, true, 600},   {u"999", false, false, 999}, {u"abc", true, false, 0},
      {u"302 x", true, true, 302}, {u"", true, false, 0},
  };
  task.retryCount = 1;
  for (const Case& c : cases) {
    env = FakeProbeEnvironment{};
    SetStopRequested(0);
    env.probe = [&](int, int64_t) { return FakeProbeEnvironment::AnswerText(c.text, c.queryOk); };
    RunUntil(30);
    ASSERT_EQ(env.probeTimes.size(), 1u);
    EXPECT_EQ(env.posted.size(), c.posted ? 1u : 0u) << Utf8FromU16(c.text) << " " << c.queryOk;
    if (c.posted && !env.posted.empty()) {
      EXPECT_EQ(env.posted[0].status, c.status);
    }
    EXPECT_NE(env.traces[0].find("HTTP_STATUS_CODE:" + std::to_string(c.status) + " "), std::string::npos);
  }
}
