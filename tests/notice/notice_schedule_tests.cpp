#include <gtest/gtest.h>

#include "fake_notice_environment.h"
#include "monitor/run_flags.h"

using namespace notice_test;

namespace {

const U16 kBody = u"softtype=2&ver=1.1.0.0";

// Runs the thread's loop until the given number of requests has been made (the exit flag is
// raised during the last one) and returns their fake times.
std::vector<int64_t> RequestTimes(FakeNoticeEnvironment& env, size_t requests) {
  NoticeLink link(nullptr, 0);
  std::atomic<int32_t> exitFlag{0};
  env.onTick = [&](FakeNoticeEnvironment& e) {
    if (e.requestTimes.size() >= requests) exitFlag = 1;
    // A loop that never ends would otherwise hang the test.
    if (e.now > 10 * 24 * 3600) exitFlag = 1;
  };
  RunNoticeCheck(kBody, link, env, exitFlag);
  return env.requestTimes;
}

std::vector<int64_t> Gaps(const std::vector<int64_t>& times) {
  std::vector<int64_t> gaps;
  for (size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
  return gaps;
}

}  // namespace

// The first request comes 9 seconds after the start; each later one (pause - 1) seconds after
// the previous one, since the pass that makes a request does not sleep.
TEST(NoticeSchedule, UnreachableServiceIsAskedEveryTenMinutes) {
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  env.answers = {Unreachable()};
  const auto times = RequestTimes(env, 6);
  ASSERT_EQ(times.size(), 6u);
  EXPECT_EQ(times[0], 9);
  for (int64_t gap : Gaps(times)) EXPECT_EQ(gap, 599);
  EXPECT_TRUE(window.outlets.calls.empty());
}

TEST(NoticeSchedule, AfterTheFirstUnderstoodReplyTheNextStillComesInTenMinutesThenEveryFiveHours) {
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  env.answers = {Answer("{}")};
  const auto times = RequestTimes(env, 5);
  ASSERT_EQ(times.size(), 5u);
  EXPECT_EQ(times[0], 9);
  EXPECT_EQ(Gaps(times), (std::vector<int64_t>{599, 17999, 17999, 17999}));
}

TEST(NoticeSchedule, AnswersNotUnderstoodCountTowardTheLongPause) {
  // Each answered request counts once: after three the pause is five hours.
  for (const ScriptedAnswer& answer : {Answer("{}", 500), Answer("not json"), Answer("{}", 404)}) {
    FakeMainWindow window;
    FakeNoticeEnvironment env(&window);
    env.answers = {answer};
    const auto times = RequestTimes(env, 6);
    EXPECT_EQ(Gaps(times), (std::vector<int64_t>{599, 599, 599, 17999, 17999})) << answer.body;
  }
}

TEST(NoticeSchedule, UnderstoodAfterFailuresSwitchesToFiveHours) {
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  // Unreachable, then answered but not understood (1), then understood: 2 -> 3.
  env.answers = {Unreachable(), Answer("<html>", 200), Answer("{}"), Answer("{}")};
  const auto times = RequestTimes(env, 5);
  EXPECT_EQ(Gaps(times), (std::vector<int64_t>{599, 599, 599, 17999}));
}

TEST(NoticeSchedule, FormBodyIsBuiltOnceAndSentWithEveryRequest) {
  EXPECT_EQ(BuildNoticeFormBody(2, u"1.1.0.0"), u"softtype=2&ver=1.1.0.0");
  EXPECT_EQ(BuildNoticeFormBody(-7, u""), u"softtype=-7&ver=");
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  RequestTimes(env, 3);
  EXPECT_EQ(env.sentBodies, std::vector<U16>(3, kBody));
}

TEST(NoticeSchedule, ExitDuringTheCountdownEndsWithinASecond) {
  for (int64_t raisedAt : {1, 5, 9, 100, 608}) {
    FakeMainWindow window;
    FakeNoticeEnvironment env(&window);
    NoticeLink link(nullptr, 0);
    std::atomic<int32_t> exitFlag{0};
    int64_t raisedTime = -1;
    env.onTick = [&](FakeNoticeEnvironment& e) {
      if (e.now >= raisedAt && raisedTime < 0) {
        exitFlag = 1;
        raisedTime = e.now;
      }
      if (e.now > raisedAt + 100) exitFlag = 1;  // the test's own deadline
    };
    RunNoticeCheck(kBody, link, env, exitFlag);
    EXPECT_LE(env.now - raisedTime, 1) << raisedAt;
    EXPECT_EQ(env.requestTimes.size(), raisedAt <= 9 ? 0u : 1u) << raisedAt;
  }
}

TEST(NoticeSchedule, ExitAlreadyRaisedEndsAtOnce) {
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  NoticeLink link(nullptr, 0);
  std::atomic<int32_t> exitFlag{1};
  RunNoticeCheck(kBody, link, env, exitFlag);
  EXPECT_EQ(env.now, 0);
  EXPECT_TRUE(env.requestTimes.empty());
}

TEST(NoticeSchedule, RequestInProgressIsCompletedBeforeTheThreadEnds) {
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  env.answers = {Answer(R"({"update":1,"notice_id":3,"notice_text":"a notice to read"})")};
  NoticeLink link(nullptr, 0);
  window.link = &link;
  std::atomic<int32_t> exitFlag{0};
  // Raised while the first request is being made.
  env.onTick = [&](FakeNoticeEnvironment& e) {
    if (!e.requestTimes.empty()) exitFlag = 1;
  };
  RunNoticeCheck(kBody, link, env, exitFlag);
  EXPECT_EQ(env.now, 9);  // no sleep after the request
  EXPECT_EQ(window.PopupTexts(), (std::vector<U16>{u"发现新版本，请及时更新", u"a notice to read"}));
  EXPECT_EQ(link.LastNoticeId(), 3);
}

TEST(NoticeSchedule, RealProcessFlagEndsTheLoop) {
  FakeMainWindow window;
  FakeNoticeEnvironment env(&window);
  NoticeLink link(nullptr, 0);
  env.onTick = [](FakeNoticeEnvironment& e) {
    if (e.now == 3) SetExitRequested(1);
  };
  RunNoticeCheck(kBody, link, env, g_exitRequested);
  SetExitRequested(0);
  EXPECT_EQ(env.now, 3);
}
