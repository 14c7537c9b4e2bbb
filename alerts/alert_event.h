#pragma once
// One alert: what happened, to which address, when. Text is UTF-8, ready for the messages.
#include <cstdint>
#include <string>

#include "base/log_time.h"

enum class AlertKind {
  Down,         // a site's failure row was shown after a time it was not failing
  Up,           // the first row after an outage that is not a failure
  NetworkBack,  // this machine's network came back after "本机网络断线"
};

struct AlertEvent {
  AlertKind kind = AlertKind::Down;
  std::string address;  // the site's address as shown in a message (no user name or password)
  std::string status;   // the row's status text
  LocalTime time;       // the stamp of the row that caused it
  int64_t unixTime = 0;
  // Up: when the outage began; NetworkBack: when the machine went offline. Down: unused.
  LocalTime since;
  int64_t secondsDown = 0;   // Up: the outage's length; NetworkBack: how long it was offline
  bool earlierRun = false;   // kept at the end of an earlier run and sent at this start
};
