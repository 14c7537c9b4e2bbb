#pragma once
// A clock that moves only when told, and a receiver scripted per channel, for the alerts' tests.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "alerts/alert_clock.h"
#include "alerts/alert_outbox.h"

namespace fake {

class Clock final : public IAlertClock {
 public:
  int64_t SteadyMilliseconds() override { return ms; }
  int64_t UnixSeconds() override { return unixBase + ms / 1000; }
  int64_t ms = 1000;
  int64_t unixBase = 1796000000;  // 2026-11-30, a time of its own for each test's starts
};

struct Delivery {
  std::string channel;
  int64_t atMs = 0;
  AlertMessage message;
};

// Answers each send as `answer` says for the channel (delivered when none is set) and records
// the deliveries in order.
struct Receiver {
  std::map<std::string, std::function<SendOutcome(int64_t atMs)>> answer;
  std::vector<Delivery> delivered;
  std::vector<Delivery> attempts;

  SendOutcome Send(const AlertOutbox::Job& job, int64_t atMs) {
    attempts.push_back({job.channel.name, atMs, job.message});
    auto it = answer.find(job.channel.name);
    SendOutcome outcome = it != answer.end() ? it->second(atMs) : SendOutcome{true, true, "已发送"};
    if (outcome.delivered) delivered.push_back({job.channel.name, atMs, job.message});
    return outcome;
  }
  std::vector<Delivery> For(const std::string& channel) const {
    std::vector<Delivery> list;
    for (const Delivery& d : delivered)
      if (d.channel == channel) list.push_back(d);
    return list;
  }
};

// What the sender thread does, on the fake clock: every job due is sent at once, and the clock
// moves to the next wake until `untilMs`.
inline void Pump(AlertOutbox& outbox, Clock& clock, Receiver& receiver, int64_t untilMs) {
  for (;;) {
    if (auto job = outbox.TakeJob()) {
      outbox.Finish(job->id, receiver.Send(*job, clock.ms));
      continue;
    }
    const int64_t wake = outbox.NextWakeMs();
    if (wake > untilMs) {
      clock.ms = std::max(clock.ms, untilMs);
      return;
    }
    clock.ms = std::max(clock.ms, wake);
  }
}

inline AlertChannel Channel(const std::string& name, ChannelKind kind = ChannelKind::Webhook) {
  AlertChannel channel;
  channel.name = name;
  channel.kind = kind;
  channel.webhookUrl = "https://127.0.0.1/" + name;
  return channel;
}

inline AlertEvent Down(const std::string& address, int64_t unixTime = 0) {
  AlertEvent e;
  e.kind = AlertKind::Down;
  e.address = address;
  e.status = "网页不存在";
  e.time = {2026, 12, 8, 2, 0, 13};
  e.unixTime = unixTime;
  return e;
}

}  // namespace fake
