// Workers on real threads and one fake clock that moves a second once every worker has slept:
// the ignored network question is asked once a second for all of them together, while each
// worker still checks the network on every tick and reports it going down and coming back.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <barrier>
#include <memory>
#include <thread>
#include <vector>

#include "monitor/once_per_second.h"
#include "monitor/probe_worker.h"
#include "monitor/run_flags.h"
#include "tests/monitor/fake_probe_environment.h"

TEST(SharedNetworkCheck, ManyWorkersAskTheIgnoredQuestionOnceASecondAndEachSeesTheNetworkOnTime) {
  constexpr int kWorkers = 8;
  constexpr int64_t kEnd = 12;                     // every worker stops when the clock reaches this
  constexpr int64_t kDownFrom = 5, kBackAt = 8;    // the network is down for seconds 5, 6 and 7
  SetStopRequested(0);
  SetExitRequested(0);

  OncePerSecond gate;
  std::array<std::atomic<int>, kEnd + 1> ignoredCalls{};
  // No worker starts the next second before all have slept; the last tick raises the stop flag
  // while all of them wait, so all of them see it at the top of the next pass.
  int64_t seconds = 0;
  auto secondOver = [&]() noexcept {
    if (++seconds >= kEnd) SetStopRequested(1);
  };
  std::barrier clock(kWorkers, secondOver);
  std::vector<SiteProbeTask> tasks(kWorkers);
  std::vector<std::unique_ptr<FakeProbeEnvironment>> envs;
  for (int i = 0; i < kWorkers; ++i) {
    tasks[i].siteNumber = i + 1;
    tasks[i].checkIntervalSeconds = 900;  // no probe within the run: the workers only tick
    tasks[i].retryCount = 1;
    tasks[i].retryIntervalSeconds = 10;
    auto env = std::make_unique<FakeProbeEnvironment>();
    const uint32_t who = static_cast<uint32_t>(i + 1);
    env->networkUp = [&, who](int64_t now) {
      return CheckNetworkSharingIgnoredQuestion(
          gate, who, now, [&] { ignoredCalls[static_cast<size_t>(now)].fetch_add(1, std::memory_order_relaxed); },
          [&] { return now < kDownFrom || now >= kBackAt; });
    };
    env->afterSleep = [&](int64_t) { clock.arrive_and_wait(); };
    envs.push_back(std::move(env));
  }

  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i)
    workers.emplace_back([&, i] { RunSiteProbeWorker(tasks[i], *envs[i]); });
  for (auto& w : workers) w.join();
  SetStopRequested(0);

  for (int64_t second = 0; second < kEnd; ++second)
    EXPECT_EQ(ignoredCalls[static_cast<size_t>(second)].load(), 1) << "second " << second;
  std::vector<int64_t> everyTick;
  for (int64_t second = 0; second < kEnd; ++second) everyTick.push_back(second);
  for (int i = 0; i < kWorkers; ++i) {
    const FakeProbeEnvironment& env = *envs[i];
    EXPECT_FALSE(env.ranIntoSafetyLimit);
    EXPECT_EQ(env.networkAskTimes, everyTick) << "worker " << i + 1;
    EXPECT_TRUE(env.probeTimes.empty());
    const int32_t site = i + 1;
    EXPECT_EQ(env.posted, (std::vector<TimedReport>{{5, site, kStatusNetworkDown},
                                                    {6, site, kStatusNetworkDown},
                                                    {7, site, kStatusNetworkDown},
                                                    {8, site, kStatusNetworkBack}}))
        << "worker " << site;
    EXPECT_EQ(env.sent, (std::vector<TimedReport>{{kEnd, site, kStatusWorkerEnded}}));
  }
}

TEST(SharedNetworkCheck, TheQuestionStaysWithItsHolderUntilItEndsOrIsHeldUp) {
  OncePerSecond gate;
  EXPECT_TRUE(gate.Claim(7, 100));
  EXPECT_FALSE(gate.Claim(7, 100));  // once a second, the holder too
  EXPECT_FALSE(gate.Claim(8, 101));  // another caller, while the holder keeps coming
  EXPECT_TRUE(gate.Claim(7, 101));
  gate.Release(8);                   // only the holder gives it up
  EXPECT_FALSE(gate.Claim(8, 102));
  gate.Release(7);
  EXPECT_TRUE(gate.Claim(8, 102));   // taken at once after the holder ended
  EXPECT_FALSE(gate.Claim(7, 103));
  // A holder held up (a long probe) loses the question after kHandOverSeconds without a call.
  const int64_t late = 102 + OncePerSecond::kHandOverSeconds;
  EXPECT_FALSE(gate.Claim(7, late - 1));
  EXPECT_TRUE(gate.Claim(7, late));
  EXPECT_FALSE(gate.Claim(8, late + 1));
}
