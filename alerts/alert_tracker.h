#pragma once
// Which handled reports become alerts. A site is down from its first failure row ("网页不存在",
// "网站服务器，内部发生错误500", "不能访问网站…") until its first row that is not a failure
// ("访问正常", "当前网页300跳转"): one Down alert at the start, one Up alert with the outage's
// length at the end, nothing in between. Rows that say nothing about the site's health (interim
// answers, unknown states, the worker's end) change nothing.
//
// The machine is offline from the first "本机网络断线" row until every site that showed one has
// reported "本机网络恢复正常". Meanwhile the site alerts are held back: a site that went down and
// came back inside that time sends nothing; at the end one NetworkBack alert says from when to
// when, followed by the held alerts that still stand.
//
// Outages are remembered by address across runs of one session, so a site down at Stop and up
// after the next Start is announced as back. Main window's thread only.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "alerts/alert_event.h"
#include "monitor/report_observer.h"

class AlertTracker {
 public:
  // Appends the alerts this report causes to `out`, in order. `unixNow` is the report's time.
  void OnReport(const HandledReport& report, int64_t unixNow, std::vector<AlertEvent>& out);
  // The run's workers have ended: an offline time still open ends without an alert of its own
  // (when the network came back is not known), and the alerts it held go out as they stand.
  void OnRunEnded(std::vector<AlertEvent>& out);
  // True from the first "本机网络断线" row until the network is back (or the run ends).
  bool Offline() const { return !offlineSites_.empty(); }

 private:
  struct Outage {
    LocalTime since;
    int64_t sinceUnix = 0;
  };
  void Emit(AlertEvent event, std::vector<AlertEvent>& out);
  void EndOffline(const HandledReport& report, int64_t unixNow, std::vector<AlertEvent>& out);

  std::unordered_map<std::u16string, Outage> down_;  // by the address as typed
  std::unordered_set<uint64_t> offlineSites_;        // site numbers whose last row is "本机网络断线"
  LocalTime offlineSince_;
  int64_t offlineSinceUnix_ = 0;
  std::vector<AlertEvent> held_;  // site alerts of the offline time, in order
};
