#pragma once
// Sends one message to one channel and waits for its answer. Called off the window's thread only
// (the sender thread, or the dialog's test send on a thread of its own); it gives up within its
// time limit and soon after `cancel` is raised.
#include <atomic>

#include "alerts/alert_channel.h"

class IChannelSender {
 public:
  virtual ~IChannelSender() = default;
  virtual SendOutcome Send(const AlertChannel& channel, const AlertMessage& message,
                           const std::atomic<bool>& cancel) = 0;
};
