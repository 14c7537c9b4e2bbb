// The time-bound prober with real helper threads: a probe that ends in time is passed through, one
// that outlives the limit is abandoned and blocks no later attempt beyond failing it at once, the
// exit flag cuts a wait short, and an abandoned helper may outlive its prober.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "monitor/run_flags.h"
#include "monitor/time_bound_probe.h"

namespace {

using namespace std::chrono_literals;
using Outcome = HttpProbeResult::Outcome;
using Clock = std::chrono::steady_clock;

// Holds every probe until opened; counts probes begun and ended and remembers the last thread.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int begun = 0;
  int ended = 0;
  int launches = 0;
  std::thread::id lastProbeThread;

  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
  // Waits until every probe begun has ended (helpers must not outlive the test).
  bool AllEnded(std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, within, [this] { return ended == begun; });
  }
};

Gate* g_gate = nullptr;

HttpProbeResult GatedProbe(const char16_t* url) {
  std::unique_lock<std::mutex> lock(g_gate->mutex);
  ++g_gate->begun;
  g_gate->lastProbeThread = std::this_thread::get_id();
  g_gate->changed.wait(lock, [] { return g_gate->open; });
  HttpProbeResult r;
  r.outcome = Outcome::kOpened;
  r.queryOk = true;
  r.statusText = url;  // the address comes back as the status text, to show it was carried
  ++g_gate->ended;
  g_gate->changed.notify_all();
  return r;
}

bool LaunchDetached(void (*job)(void*), void* argument) {
  {
    std::lock_guard<std::mutex> lock(g_gate->mutex);
    ++g_gate->launches;
  }
  std::thread(job, argument).detach();
  return true;
}

bool RefuseLaunch(void (*)(void*), void*) { return false; }

int g_signalsMade = 0;
std::unique_ptr<AttemptSignal> CountedSignal() {
  ++g_signalsMade;
  return MakeStdAttemptSignal();
}

class TimeBoundProberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_gate = &gate;
    SetExitRequested(0);
  }
  void TearDown() override {
    SetExitRequested(0);
    gate.Open();
    EXPECT_TRUE(gate.AllEnded(10s)) << "a helper never ended";
    g_gate = nullptr;
  }
  Gate gate;
};

}  // namespace

TEST_F(TimeBoundProberTest, AProbeThatEndsInTimeIsPassedThroughFromItsHelper) {
  gate.Open();
  g_signalsMade = 0;
  TimeBoundProber prober(&GatedProbe, &LaunchDetached, 10s, &CountedSignal);
  const HttpProbeResult r = prober.Probe(u"200");
  EXPECT_EQ(r.outcome, Outcome::kOpened);
  EXPECT_TRUE(r.queryOk);
  EXPECT_EQ(r.statusText, u"200");
  EXPECT_NE(gate.lastProbeThread, std::this_thread::get_id());
  EXPECT_FALSE(prober.EarlierAttemptRunning());
  // Each later attempt reuses the ended one, with its own address and answer.
  for (const char16_t* status : {u"301", u"404", u"500"}) EXPECT_EQ(prober.Probe(status).statusText, status);
  EXPECT_EQ(gate.launches, 4);
  EXPECT_EQ(g_signalsMade, 1);
}

TEST_F(TimeBoundProberTest, AHeldProbeIsAbandonedAtTheLimitAndLaterAttemptsFailAtOnceUntilItEnds) {
  // A limit long enough that "at once" is told from "at the limit" on a busy machine too.
  TimeBoundProber prober(&GatedProbe, &LaunchDetached, 3s);
  const auto began = Clock::now();
  EXPECT_EQ(prober.Probe(u"held").outcome, Outcome::kUrlNotOpened);
  const auto waited = Clock::now() - began;
  EXPECT_GE(waited, 3s);
  EXPECT_LT(waited, 30s);
  EXPECT_TRUE(prober.EarlierAttemptRunning());

  // While the abandoned attempt runs, no second helper is started.
  const auto again = Clock::now();
  EXPECT_EQ(prober.Probe(u"again").outcome, Outcome::kUrlNotOpened);
  EXPECT_LT(Clock::now() - again, 2s);
  EXPECT_EQ(gate.launches, 1);

  // Once it has ended, the next attempt is a fresh one with its own answer.
  gate.Open();
  const auto deadline = Clock::now() + 5s;
  while (prober.EarlierAttemptRunning() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_FALSE(prober.EarlierAttemptRunning());
  EXPECT_EQ(prober.Probe(u"204").statusText, u"204");
  EXPECT_EQ(gate.launches, 2);
}

TEST_F(TimeBoundProberTest, TheExitFlagCutsTheWaitShort) {
  TimeBoundProber prober(&GatedProbe, &LaunchDetached, 60s);
  std::thread raiser([] {
    std::this_thread::sleep_for(150ms);
    SetExitRequested(1);
  });
  const auto began = Clock::now();
  const HttpProbeResult r = prober.Probe(u"held");
  const auto waited = Clock::now() - began;
  raiser.join();
  EXPECT_EQ(r.outcome, Outcome::kAbandoned);
  EXPECT_LT(waited, 30s);  // against the 60-second limit
}

TEST_F(TimeBoundProberTest, AnAbandonedHelperMayOutliveItsProber) {
  {
    TimeBoundProber prober(&GatedProbe, &LaunchDetached, 50ms);
    EXPECT_EQ(prober.Probe(u"held").outcome, Outcome::kUrlNotOpened);
  }
  // The helper finishes after the prober (and the worker's record) are gone; the sanitizers
  // would see any use of freed memory.
  gate.Open();
  EXPECT_TRUE(gate.AllEnded(5s));
}

TEST_F(TimeBoundProberTest, WithoutAHelperThreadTheProbeRunsOnTheCallersThread) {
  gate.Open();
  TimeBoundProber prober(&GatedProbe, &RefuseLaunch, 50ms);
  EXPECT_EQ(prober.Probe(u"200").statusText, u"200");
  EXPECT_EQ(gate.lastProbeThread, std::this_thread::get_id());
}
