#pragma once
// The three monitoring settings, as the user picks them and as Config.dat keeps them.
#include <cstdint>

struct MonitorSettings {
  int32_t checkIntervalSeconds = 0;
  int32_t retryCount = 0;
  int32_t retryIntervalSeconds = 0;
};
