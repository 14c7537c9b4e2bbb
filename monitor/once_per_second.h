#pragma once
// A lock-free gate that lets one caller through per second of a clock, shared by the probe
// workers: a question that belongs to every worker's tick but whose answer nobody reads, and
// which costs real time on some platforms, is asked only once a second for all of them.
//
// The gate keeps the question with one caller, its holder, for as long as that caller keeps
// coming: under Wine the first call from each thread leaves memory behind (docs/performance.md,
// "Idle workers and the ignored question"), so a question handed round the workers costs memory
// until every worker has had its turn, and again in every run. The holder
// gives it up when it ends; a holder that has not come for kHandOverSeconds (held up by a long
// probe, or gone without giving it up) is taken over by the next caller.
//
// The gate holds no data for anyone: it only decides who pays for an ignored call. Nothing is
// published through it, so relaxed ordering is enough, and a worker's own decisions never depend
// on what the gate says.
#include <atomic>
#include <cstdint>
#include <limits>

class OncePerSecond {
 public:
  static constexpr int64_t kHandOverSeconds = 5;

  // True when caller `who` (nonzero, e.g. its thread id) holds the question, or takes it over
  // now, and is the first through in `second` (any second later than the last one let through);
  // false for every other caller and for seconds already past.
  bool Claim(uint32_t who, int64_t second) {
    int64_t last = lastClaimed_.load(std::memory_order_relaxed);
    uint32_t holder = holder_.load(std::memory_order_relaxed);
    if (holder != who) {
      const bool heldUp = last == kNever || second - last >= kHandOverSeconds;
      if (holder != 0 && !heldUp) return false;
      if (!holder_.compare_exchange_strong(holder, who, std::memory_order_relaxed)) return false;
    }
    while (second > last) {
      if (lastClaimed_.compare_exchange_weak(last, second, std::memory_order_relaxed)) return true;
    }
    return false;
  }

  // Caller `who` asks no more (it is ending): the next caller takes the question at once.
  void Release(uint32_t who) {
    uint32_t holder = who;
    holder_.compare_exchange_strong(holder, 0, std::memory_order_relaxed);
  }

 private:
  static constexpr int64_t kNever = std::numeric_limits<int64_t>::min();
  std::atomic<uint32_t> holder_{0};
  std::atomic<int64_t> lastClaimed_{kNever};
};

// A worker's per-tick local-network check: the ignored question is asked only when this caller
// wins the gate for the current second; whether the network is alive is asked every time and is
// the answer.
template <typename IgnoredQuestion, typename AliveQuestion>
bool CheckNetworkSharingIgnoredQuestion(OncePerSecond& gate, uint32_t who, int64_t second,
                                        IgnoredQuestion&& ignored, AliveQuestion&& alive) {
  if (gate.Claim(who, second)) ignored();
  return alive();
}
