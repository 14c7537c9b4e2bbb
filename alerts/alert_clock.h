#pragma once
// The two times the alerts run on: a steady count of milliseconds for the sender's schedule
// (storms, rate limits, retries), and the calendar's seconds for an alert's age and an outage's
// length. Tests use a fake that moves only when told.
#include <cstdint>

class IAlertClock {
 public:
  virtual ~IAlertClock() = default;
  virtual int64_t SteadyMilliseconds() = 0;
  virtual int64_t UnixSeconds() = 0;
};

// The system's clocks.
class SystemAlertClock final : public IAlertClock {
 public:
  int64_t SteadyMilliseconds() override;
  int64_t UnixSeconds() override;
};
