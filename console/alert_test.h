#pragma once
// SiteMonitorConsole.exe --alert-test: one test message to every enabled channel, one line per
// channel with its outcome.
#include <functional>
#include <string_view>
#include <vector>

#include "alerts/alert_channel.h"
#include "alerts/channel_sender.h"

// Sends `message` to each enabled channel in turn and hands `line` one line (UTF-8, CR LF) per
// channel: "[sent] <name>: <outcome>" or "[failed] <name>: <outcome>". True when there was at
// least one such channel and every one was delivered.
bool SendAlertTest(const std::vector<AlertChannel>& channels, IChannelSender& sender, const AlertMessage& message,
                   const std::function<void(std::string_view line)>& line);
