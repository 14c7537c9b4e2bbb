#include "alerts/pending_alerts.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

constexpr size_t kLargestFile = 4 * 1024 * 1024;  // far above what the bounded queues can leave
constexpr size_t kLongestText = 4096;            // an address or status read back

json TimeArray(const LocalTime& t) { return json::array({t.year, t.month, t.day, t.hour, t.minute, t.second}); }

bool ReadTime(const json& value, LocalTime& t) {
  if (!value.is_array() || value.size() != 6) return false;
  for (const json& part : value)
    if (!part.is_number_integer() || part.get<int64_t>() < 0 || part.get<int64_t>() > 9999) return false;
  t = {value[0].get<int>(), value[1].get<int>(), value[2].get<int>(),
       value[3].get<int>(), value[4].get<int>(), value[5].get<int>()};
  return true;
}

bool ReadText(const json& object, const char* name, std::string& text) {
  auto it = object.find(name);
  if (it == object.end() || !it->is_string()) return false;
  text = it->get<std::string>();
  if (text.size() > kLongestText) text.resize(kLongestText);  // cut again, as UTF-8, when shown
  return true;
}

bool ReadInteger(const json& object, const char* name, int64_t& value) {
  auto it = object.find(name);
  if (it == object.end() || !it->is_number_integer()) return false;
  value = it->get<int64_t>();
  return true;
}

bool ReadEvent(const json& value, AlertEvent& e) {
  if (!value.is_object()) return false;
  std::string kind;
  if (!ReadText(value, "event", kind)) return false;
  if (kind == "down") e.kind = AlertKind::Down;
  else if (kind == "up") e.kind = AlertKind::Up;
  else if (kind == "network") e.kind = AlertKind::NetworkBack;
  else return false;
  auto since = value.find("since");
  return ReadText(value, "address", e.address) && ReadText(value, "status", e.status) &&
         value.contains("time") && ReadTime(value["time"], e.time) && ReadInteger(value, "unix_time", e.unixTime) &&
         ReadInteger(value, "seconds_down", e.secondsDown) &&
         (since == value.end() || ReadTime(*since, e.since));
}

}  // namespace

std::string SerialisePendingAlerts(const std::vector<PendingMessage>& messages) {
  json list = json::array();
  for (const PendingMessage& m : messages) {
    json alerts = json::array();
    for (const AlertEvent& e : m.events) {
      alerts.push_back({{"event", e.kind == AlertKind::Down ? "down" : e.kind == AlertKind::Up ? "up" : "network"},
                        {"address", e.address},
                        {"status", e.status},
                        {"time", TimeArray(e.time)},
                        {"unix_time", e.unixTime},
                        {"since", TimeArray(e.since)},
                        {"seconds_down", e.secondsDown}});
    }
    list.push_back({{"channel", m.channel}, {"queued", m.queuedUnix}, {"omitted", m.omitted}, {"alerts", alerts}});
  }
  const json file = {{"version", 1}, {"messages", list}};
  return file.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
}

std::vector<PendingMessage> ParsePendingAlerts(const std::string& bytes) {
  std::vector<PendingMessage> messages;
  const json file = json::parse(bytes, nullptr, false);
  if (file.is_discarded() || !file.is_object()) return messages;
  auto list = file.find("messages");
  if (list == file.end() || !list->is_array()) return messages;
  for (const json& value : *list) {
    if (!value.is_object()) continue;
    PendingMessage m;
    int64_t omitted = 0;
    if (!ReadText(value, "channel", m.channel) || !ReadInteger(value, "queued", m.queuedUnix) ||
        !ReadInteger(value, "omitted", omitted) || omitted < 0 || !value.contains("alerts") ||
        !value["alerts"].is_array())
      continue;
    m.omitted = static_cast<size_t>(omitted);
    bool whole = true;
    for (const json& event : value["alerts"]) {
      AlertEvent e;
      if (!ReadEvent(event, e)) {
        whole = false;
        break;
      }
      m.events.push_back(std::move(e));
    }
    if (whole && !m.events.empty()) messages.push_back(std::move(m));
  }
  return messages;
}

std::vector<PendingMessage> TakePendingAlertsFile(IStoreFiles& files, const U16& path) {
  const std::optional<FileBytes> bytes = files.ReadForUpdate(path, kLargestFile);
  if (!bytes) return {};
  files.Remove(path);
  return ParsePendingAlerts(std::string(bytes->begin(), bytes->end()));
}

bool KeepPendingAlertsFile(IStoreFiles& files, const U16& path, const std::vector<PendingMessage>& messages) {
  if (messages.empty()) {
    files.Remove(path);
    return true;
  }
  const std::string text = SerialisePendingAlerts(messages);
  return SaveFileSafely(files, path, FileBytes(text.begin(), text.end()));
}
