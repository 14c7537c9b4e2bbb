#pragma once
// Alerts not delivered when the program ends, kept in the data folder (alerts-pending.json) and
// sent at the next start when they are under an hour old. UTF-8 JSON, saved whole or not at all:
//   {"version": 1, "messages": [{"channel": "<the channel's name>", "queued": <unix seconds>,
//     "omitted": 0, "alerts": [{"event": "down"|"up"|"network", "address": "…", "status": "…",
//     "time": [y, mo, d, h, mi, s], "unix_time": …, "since": [y, mo, d, h, mi, s],
//     "seconds_down": …}, …]}, …]}
#include <cstdint>
#include <string>
#include <vector>

#include "alerts/alert_event.h"
#include "base/utf16.h"
#include "store/store_files.h"

// One message still owed to one channel.
struct PendingMessage {
  std::string channel;     // the channel's name
  int64_t queuedUnix = 0;  // when it was first queued: it is given up an hour after
  size_t omitted = 0;      // alerts merged away for want of room
  std::vector<AlertEvent> events;
};

std::string SerialisePendingAlerts(const std::vector<PendingMessage>& messages);
// Whatever of the bytes is whole: a damaged file, or a damaged message in it, gives nothing
// (for that message) and never fails.
std::vector<PendingMessage> ParsePendingAlerts(const std::string& bytes);

// Reads the file and removes it, so a message is sent at one start only.
std::vector<PendingMessage> TakePendingAlertsFile(IStoreFiles& files, const U16& path);
// Writes the file (saved safely), or removes it when nothing is pending. False when it could not
// be written.
bool KeepPendingAlertsFile(IStoreFiles& files, const U16& path, const std::vector<PendingMessage>& messages);
