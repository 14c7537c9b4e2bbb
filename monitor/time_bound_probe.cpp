#include "monitor/time_bound_probe.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <utility>

#include "monitor/run_flags.h"

namespace {
// How often a wait looks at the exit flag.
constexpr std::chrono::milliseconds kExitPoll{100};

HttpProbeResult Outcome(HttpProbeResult::Outcome outcome) {
  HttpProbeResult result;
  result.outcome = outcome;
  return result;
}

class StdAttemptSignal final : public AttemptSignal {
 public:
  void Raise() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      raised_ = true;
    }
    changed_.notify_all();
  }
  bool WaitFor(std::chrono::milliseconds wait) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, wait, [this] { return raised_; })) return false;
    raised_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool raised_ = false;
};
}  // namespace

std::unique_ptr<AttemptSignal> MakeStdAttemptSignal() {
  return std::unique_ptr<AttemptSignal>(new (std::nothrow) StdAttemptSignal);
}

// What the worker and its helper share; whichever lets go last frees it. The address is a copy:
// an abandoned helper may outlive the worker and its record. The helper writes `result` before
// it raises `ended` and touches nothing after; the worker reads it only after seeing `ended`,
// and only then may it reuse the attempt for the next probe.
struct TimeBoundProber::Attempt {
  Attempt(ProbeFunction p, std::unique_ptr<AttemptSignal> s) : probe(p), ended(std::move(s)) {}
  ProbeFunction probe;
  U16 url;
  std::unique_ptr<AttemptSignal> ended;
  HttpProbeResult result;
  bool endSeen = false;  // the worker's own note that it has seen `ended`
};

TimeBoundProber::TimeBoundProber(ProbeFunction probe, LaunchFunction launch, std::chrono::milliseconds limit,
                                 SignalFactory makeSignal)
    : probe_(probe), launch_(launch), limit_(limit), makeSignal_(makeSignal) {}

TimeBoundProber::~TimeBoundProber() = default;

void TimeBoundProber::RunAttempt(void* argument) {
  // The helper's own reference keeps the attempt alive until it has raised the signal.
  std::unique_ptr<std::shared_ptr<Attempt>> own(static_cast<std::shared_ptr<Attempt>*>(argument));
  Attempt& attempt = **own;
  attempt.result = attempt.probe(attempt.url.c_str());
  attempt.ended->Raise();
}

bool TimeBoundProber::EarlierAttemptRunning() {
  if (!abandoned_) return false;
  if (!abandoned_->endSeen) abandoned_->endSeen = abandoned_->ended->WaitFor(std::chrono::milliseconds(0));
  return !abandoned_->endSeen;
}

HttpProbeResult TimeBoundProber::Probe(const char16_t* url) {
  if (EarlierAttemptRunning()) return Outcome(HttpProbeResult::Outcome::kUrlNotOpened);
  if (abandoned_) spare_ = std::move(abandoned_);

  std::shared_ptr<Attempt> attempt = std::move(spare_);
  std::shared_ptr<Attempt>* helperReference = nullptr;
  try {
    if (!attempt) {
      std::unique_ptr<AttemptSignal> signal = makeSignal_();
      if (!signal) return probe_(url);
      attempt = std::make_shared<Attempt>(probe_, std::move(signal));
    }
    attempt->url = url;
    attempt->result = HttpProbeResult();
    attempt->endSeen = false;
    helperReference = new std::shared_ptr<Attempt>(attempt);
  } catch (const std::bad_alloc&) {
    return probe_(url);
  }
  if (!launch_(&RunAttempt, helperReference)) {
    delete helperReference;
    spare_ = std::move(attempt);
    return probe_(url);
  }

  const auto deadline = std::chrono::steady_clock::now() + limit_;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (attempt->ended->WaitFor(std::clamp(left, std::chrono::milliseconds(0), kExitPoll))) {
      HttpProbeResult result = std::move(attempt->result);
      spare_ = std::move(attempt);
      return result;
    }
    if (ExitRequested()) {
      abandoned_ = std::move(attempt);
      return Outcome(HttpProbeResult::Outcome::kAbandoned);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      abandoned_ = std::move(attempt);
      return Outcome(HttpProbeResult::Outcome::kUrlNotOpened);
    }
  }
}
