#pragma once
// Runs a worker's probe on a helper thread and waits for it at most a time limit, so a site that
// accepts and never answers, drips its answer head or redirects without end cannot hold its
// worker (and with it Stop and leaving the program) for as long as it likes.
//
// An attempt that outlives the limit is abandoned, not killed: its helper finishes whenever the
// platform lets go, closes its own handles and frees what it shares with the worker. At most one
// abandoned attempt per worker: while it is still running, the next attempt fails at once
// instead of starting another helper. Leaving the program (the exit flag) abandons the attempt
// in progress within a fraction of a second; the stop flag lets it run to its end or its limit.
#include <chrono>
#include <memory>

#include "monitor/probe_worker.h"

// The signal a helper raises when its attempt has ended; it resets itself when a wait sees it.
// Everything the helper wrote before raising it is visible to the waiter that saw it.
class AttemptSignal {
 public:
  virtual ~AttemptSignal() = default;
  virtual void Raise() = 0;
  // True when raised (and no longer raised after); waits at most `wait` for it.
  virtual bool WaitFor(std::chrono::milliseconds wait) = 0;
};

// A signal over std::mutex and std::condition_variable.
std::unique_ptr<AttemptSignal> MakeStdAttemptSignal();

class TimeBoundProber {
 public:
  // One probe: opens, queries and closes every handle it opens. Must not touch worker state.
  using ProbeFunction = HttpProbeResult (*)(const char16_t* url);
  // Runs job(argument) on another thread; false when none could be had.
  using LaunchFunction = bool (*)(void (*job)(void* argument), void* argument);
  // A fresh signal, or null when none could be made.
  using SignalFactory = std::unique_ptr<AttemptSignal> (*)();

  TimeBoundProber(ProbeFunction probe, LaunchFunction launch, std::chrono::milliseconds limit,
                  SignalFactory makeSignal = &MakeStdAttemptSignal);
  ~TimeBoundProber();
  TimeBoundProber(const TimeBoundProber&) = delete;
  TimeBoundProber& operator=(const TimeBoundProber&) = delete;

  // The probe's result; kUrlNotOpened when the limit passed or an earlier attempt is still
  // running; kAbandoned when the exit flag was raised before it ended. Without a helper thread
  // the probe runs on the caller's thread, unbounded.
  HttpProbeResult Probe(const char16_t* url);

  // True while an abandoned attempt is still running.
  bool EarlierAttemptRunning();

 private:
  struct Attempt;
  static void RunAttempt(void* argument);

  ProbeFunction probe_;
  LaunchFunction launch_;
  std::chrono::milliseconds limit_;
  SignalFactory makeSignal_;
  std::shared_ptr<Attempt> abandoned_;
  std::shared_ptr<Attempt> spare_;  // an ended attempt, kept for the next (its signal and buffers)
};
