#include "alerts/alert_text.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

constexpr size_t kLongestShownAddress = 300;  // UTF-16 units of an address in a message

std::string Stamp(const LocalTime& time) { return Utf8FromU16(FormatLogTime(time)); }

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

const char* EventName(AlertKind kind) {
  switch (kind) {
    case AlertKind::Down: return "down";
    case AlertKind::Up: return "up";
    case AlertKind::NetworkBack: return "network";
  }
  return "down";
}

std::string Header(const std::string& machine) {
  std::string header(kAlertProgramName);
  if (!machine.empty()) header += " " + machine;
  return header;
}

std::string OfflineLine(const AlertEvent& e) {
  return "本机网络断线：" + Stamp(e.since) + " 至 " + Stamp(e.time) + "，共" + OutageLengthText(e.secondsDown);
}

nlohmann::json EventFields(const AlertEvent& e, const std::string& machine) {
  nlohmann::json fields = {
      {"event", EventName(e.kind)},
      {"address", e.address},
      {"status", e.status},
      {"time", IsoLocalTime(e.time, e.unixTime)},
      {"unix_time", e.unixTime},
      {"seconds_down", e.secondsDown},
      {"machine", machine},
  };
  if (e.kind != AlertKind::Down) fields["since"] = IsoLocalTime(e.since, e.unixTime - e.secondsDown);
  return fields;
}

std::string Dump(const nlohmann::json& value) {
  // Text cut elsewhere never leaves bad UTF-8 behind, but a hand-edited pending file might.
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string ShownAddress(U16View url) {
  U16 shown(url);
  const size_t scheme = shown.find(u"://");
  const size_t hostStart = scheme == U16::npos ? 0 : scheme + 3;
  const size_t authorityEnd = std::min(shown.find_first_of(u"/?#", hostStart), shown.size());
  const size_t at = shown.rfind(u'@', authorityEnd == 0 ? 0 : authorityEnd - 1);
  if (at != U16::npos && at >= hostStart && at < authorityEnd) shown.erase(hostStart, at + 1 - hostStart);
  if (shown.size() > kLongestShownAddress) {
    size_t cut = kLongestShownAddress;
    if (shown[cut - 1] >= 0xD800 && shown[cut - 1] <= 0xDBFF) --cut;  // never half a pair
    shown.resize(cut);
    shown += u"…";
  }
  return Utf8FromU16(shown);
}

std::string OutageLengthText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60;
  std::string text;
  if (days > 0) text += std::to_string(days) + "天";
  if (days > 0 || hours > 0) text += std::to_string(hours) + "小时";
  if (days > 0 || hours > 0 || minutes > 0) text += std::to_string(minutes) + "分";
  return text + std::to_string(seconds % 60) + "秒";
}

std::string IsoLocalTime(const LocalTime& t, int64_t unixTime) {
  const int64_t localSeconds = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  // The two clocks were read a moment apart: the offset is taken to the nearest quarter hour.
  int64_t offsetMinutes = (localSeconds - unixTime) / 60;
  offsetMinutes = (offsetMinutes >= 0 ? offsetMinutes + 7 : offsetMinutes - 7) / 15 * 15;
  if (offsetMinutes > 14 * 60 || offsetMinutes < -14 * 60) offsetMinutes = 0;  // clocks that disagree
  const int64_t absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second, offsetMinutes < 0 ? '-' : '+', static_cast<int>(absolute / 60),
                static_cast<int>(absolute % 60));
  return text;
}

AlertMessage ComposeAlertMessage(const std::string& machine, const std::vector<AlertEvent>& events,
                                 size_t omitted) {
  AlertMessage message;
  const std::string header = Header(machine);
  size_t downs = 0, ups = 0;
  bool network = false, earlierRun = false;
  for (const AlertEvent& e : events) {
    downs += e.kind == AlertKind::Down;
    ups += e.kind == AlertKind::Up;
    network = network || e.kind == AlertKind::NetworkBack;
    earlierRun = earlierRun || e.earlierRun;
  }

  std::string text = header + "\n";
  if (earlierRun) text += "（上次运行时未能送出，时间为告警发生时）\n";
  if (events.size() == 1 && omitted == 0) {
    const AlertEvent& e = events.front();
    switch (e.kind) {
      case AlertKind::Down:
        message.subject = header + "：站点故障 " + e.address;
        text += "站点故障：" + e.address + "\n状态：" + e.status + "\n时间：" + Stamp(e.time);
        break;
      case AlertKind::Up:
        message.subject = header + "：站点恢复 " + e.address;
        text += "站点恢复：" + e.address + "\n状态：" + e.status + "\n时间：" + Stamp(e.time) + "\n故障时长：" +
                OutageLengthText(e.secondsDown) + "（自 " + Stamp(e.since) + " 起）";
        break;
      case AlertKind::NetworkBack:
        message.subject = header + "：本机网络断线后已恢复";
        text += OfflineLine(e);
        break;
    }
  } else {
    std::string summary;
    auto add = [&summary](const std::string& part) { summary += (summary.empty() ? "" : "，") + part; };
    if (network) add("本机网络断线后已恢复");
    if (downs > 0) add(std::to_string(downs) + "个站点故障");
    if (ups > 0) add(std::to_string(ups) + "个站点恢复");
    if (omitted > 0) add("另有" + std::to_string(omitted) + "条告警");
    message.subject = header + "：" + summary;
    text += summary;
    for (const AlertEvent& e : events) {
      switch (e.kind) {
        case AlertKind::Down:
          text += "\n[故障] " + Stamp(e.time) + " " + e.address + " " + e.status;
          break;
        case AlertKind::Up:
          text += "\n[恢复] " + Stamp(e.time) + " " + e.address + " " + e.status + "，故障时长" +
                  OutageLengthText(e.secondsDown);
          break;
        case AlertKind::NetworkBack:
          text += "\n[断网] " + OfflineLine(e);
          break;
      }
    }
    if (omitted > 0) text += "\n……另有" + std::to_string(omitted) + "条告警未列出";
  }
  message.text = std::move(text);

  nlohmann::json fields = events.empty() ? nlohmann::json::object() : EventFields(events.front(), machine);
  fields["program"] = kAlertProgramName;
  fields["machine"] = machine;
  fields["count"] = events.size() + omitted;
  fields["omitted"] = omitted;
  fields["earlier_run"] = earlierRun;
  nlohmann::json list = nlohmann::json::array();
  for (const AlertEvent& e : events) list.push_back(EventFields(e, machine));
  fields["alerts"] = std::move(list);
  message.webhookFields = Dump(fields);
  return message;
}

AlertMessage ComposeTestMessage(const std::string& machine, const LocalTime& now, int64_t unixNow) {
  const std::string header = Header(machine);
  AlertMessage message;
  message.subject = header + "：测试消息";
  message.text = header + "\n测试消息：告警通知已设置好，这个渠道能收到告警。\n时间：" + Stamp(now);
  const nlohmann::json fields = {
      {"program", kAlertProgramName}, {"machine", machine},          {"event", "test"},
      {"address", ""},                {"status", "测试消息"},          {"time", IsoLocalTime(now, unixNow)},
      {"unix_time", unixNow},         {"seconds_down", 0},            {"count", 0},
      {"omitted", 0},                 {"earlier_run", false},         {"alerts", nlohmann::json::array()},
  };
  message.webhookFields = Dump(fields);
  return message;
}
