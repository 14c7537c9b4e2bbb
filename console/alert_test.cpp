#include "console/alert_test.h"

#include <atomic>
#include <string>

bool SendAlertTest(const std::vector<AlertChannel>& channels, IChannelSender& sender, const AlertMessage& message,
                   const std::function<void(std::string_view line)>& line) {
  const std::atomic<bool> cancel{false};
  bool any = false;
  bool all = true;
  for (const AlertChannel& channel : channels) {
    if (!channel.enabled) continue;
    any = true;
    const SendOutcome outcome = sender.Send(channel, message, cancel);
    all = all && outcome.delivered;
    line(std::string(outcome.delivered ? "[sent] " : "[failed] ") + channel.name + ": " + outcome.detail + "\r\n");
  }
  return any && all;
}
