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
}  // namespace

// What the worker and its helper share; whichever lets go last frees it. The address is a copy:
// an abandoned helper may outlive the worker and its record.
struct TimeBoundProber::Attempt {
  Attempt(ProbeFunction p, const char16_t* u) : probe(p), url(u) {}
  ProbeFunction probe;
  U16 url;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  HttpProbeResult result;
};

TimeBoundProber::TimeBoundProber(ProbeFunction probe, LaunchFunction launch, std::chrono::milliseconds limit)
    : probe_(probe), launch_(launch), limit_(limit) {}

TimeBoundProber::~TimeBoundProber() = default;

void TimeBoundProber::RunAttempt(void* argument) {
  // The helper's own reference keeps the attempt alive until it has said it is done.
  std::unique_ptr<std::shared_ptr<Attempt>> own(static_cast<std::shared_ptr<Attempt>*>(argument));
  Attempt& attempt = **own;
  HttpProbeResult result = attempt.probe(attempt.url.c_str());
  {
    std::lock_guard<std::mutex> lock(attempt.mutex);
    attempt.result = std::move(result);
    attempt.done = true;
  }
  attempt.ended.notify_all();
}

bool TimeBoundProber::EarlierAttemptRunning() const {
  if (!abandoned_) return false;
  std::lock_guard<std::mutex> lock(abandoned_->mutex);
  return !abandoned_->done;
}

HttpProbeResult TimeBoundProber::Probe(const char16_t* url) {
  if (EarlierAttemptRunning()) return Outcome(HttpProbeResult::Outcome::kUrlNotOpened);
  abandoned_.reset();

  std::shared_ptr<Attempt> attempt;
  std::shared_ptr<Attempt>* helperReference = nullptr;
  try {
    attempt = std::make_shared<Attempt>(probe_, url);
    helperReference = new std::shared_ptr<Attempt>(attempt);
  } catch (const std::bad_alloc&) {
    return probe_(url);
  }
  if (!launch_(&RunAttempt, helperReference)) {
    delete helperReference;
    return probe_(url);
  }

  const auto deadline = std::chrono::steady_clock::now() + limit_;
  std::unique_lock<std::mutex> lock(attempt->mutex);
  while (!attempt->done) {
    if (ExitRequested()) {
      abandoned_ = attempt;
      return Outcome(HttpProbeResult::Outcome::kAbandoned);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      abandoned_ = attempt;
      return Outcome(HttpProbeResult::Outcome::kUrlNotOpened);
    }
    attempt->ended.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, kExitPoll));
  }
  return std::move(attempt->result);
}
