#pragma once
// A lock-free gate that lets one caller through per second of a clock, shared by the probe
// workers: a question that belongs to every worker's tick but whose answer nobody reads, and
// which costs real time on some platforms, is asked only by whichever worker comes first in
// that second.
//
// The gate holds no data for anyone: it only decides who pays for an ignored call. Nothing is
// published through it, so relaxed ordering is enough, and a worker's own decisions never depend
// on what the gate says.
#include <atomic>
#include <cstdint>
#include <limits>

class OncePerSecond {
 public:
  // True for the first caller with a given second (any second later than the last one let
  // through); false for every other caller in that second and for seconds already past.
  bool Claim(int64_t second) {
    int64_t last = lastClaimed_.load(std::memory_order_relaxed);
    while (second > last) {
      if (lastClaimed_.compare_exchange_weak(last, second, std::memory_order_relaxed)) return true;
    }
    return false;
  }

 private:
  std::atomic<int64_t> lastClaimed_{std::numeric_limits<int64_t>::min()};
};

// A worker's per-tick local-network check: the ignored question is asked only when this caller
// wins the gate for the current second; whether the network is alive is asked every time and is
// the answer.
template <typename IgnoredQuestion, typename AliveQuestion>
bool CheckNetworkSharingIgnoredQuestion(OncePerSecond& gate, int64_t second, IgnoredQuestion&& ignored,
                                        AliveQuestion&& alive) {
  if (gate.Claim(second)) ignored();
  return alive();
}
