#include "alerts/alert_tracker.h"

#include <algorithm>

#include "alerts/alert_text.h"
#include "monitor/probe_status.h"
#include "monitor/status_handler.h"

namespace {

enum class Health { Failing, Fine, Silent };

Health HealthOf(int32_t status) {
  if (status >= 400 && status < 600) return Health::Failing;
  if (status == kStatusUrlNotOpened) return Health::Failing;
  if (status >= 200 && status < 400) return Health::Fine;
  return Health::Silent;
}

}  // namespace

void AlertTracker::Emit(AlertEvent event, std::vector<AlertEvent>& out) {
  if (!Offline()) {
    out.push_back(std::move(event));
    return;
  }
  // A site that went down in the offline time and is back inside it says nothing at all.
  if (event.kind == AlertKind::Up) {
    auto wentDown = std::find_if(held_.rbegin(), held_.rend(), [&](const AlertEvent& held) {
      return held.kind == AlertKind::Down && held.address == event.address;
    });
    if (wentDown != held_.rend()) {
      held_.erase(std::next(wentDown).base());
      return;
    }
  }
  held_.push_back(std::move(event));
}

void AlertTracker::OnReport(const HandledReport& report, int64_t unixNow, std::vector<AlertEvent>& out) {
  const bool wasOffline = offlineSites_.count(report.siteNumber) != 0;
  if (report.status == kStatusNetworkDown) {
    if (offlineSites_.empty()) {
      offlineSince_ = report.time;
      offlineSinceUnix_ = unixNow;
    }
    offlineSites_.insert(report.siteNumber);
    return;
  }
  if (wasOffline) {
    // "本机网络恢复正常" (or anything else: the worker is past its network check).
    offlineSites_.erase(report.siteNumber);
    if (offlineSites_.empty()) EndOffline(report, unixNow, out);
  }

  const Health health = HealthOf(report.status);
  if (health == Health::Silent) return;
  if (health == Health::Fine && down_.empty()) return;  // the common case: a healthy site stays so
  const std::u16string url(report.url);
  auto outage = down_.find(url);
  if (health == Health::Failing) {
    if (outage != down_.end()) return;  // still down: the log shows it, the alerts do not repeat
    down_.emplace(url, Outage{report.time, unixNow});
    AlertEvent event;
    event.kind = AlertKind::Down;
    event.address = ShownAddress(report.url);
    event.status = Utf8FromU16(StatusText(report.status));
    event.time = report.time;
    event.unixTime = unixNow;
    Emit(std::move(event), out);
    return;
  }
  if (outage == down_.end()) return;
  AlertEvent event;
  event.kind = AlertKind::Up;
  event.address = ShownAddress(report.url);
  event.status = Utf8FromU16(StatusText(report.status));
  event.time = report.time;
  event.unixTime = unixNow;
  event.since = outage->second.since;
  event.secondsDown = std::max<int64_t>(0, unixNow - outage->second.sinceUnix);
  down_.erase(outage);
  Emit(std::move(event), out);
}

void AlertTracker::EndOffline(const HandledReport& report, int64_t unixNow, std::vector<AlertEvent>& out) {
  AlertEvent event;
  event.kind = AlertKind::NetworkBack;
  event.status = Utf8FromU16(StatusText(kStatusNetworkBack));
  event.time = report.time;
  event.unixTime = unixNow;
  event.since = offlineSince_;
  event.secondsDown = std::max<int64_t>(0, unixNow - offlineSinceUnix_);
  out.push_back(std::move(event));
  for (AlertEvent& held : held_) out.push_back(std::move(held));
  held_.clear();
}

void AlertTracker::OnRunEnded(std::vector<AlertEvent>& out) {
  offlineSites_.clear();
  for (AlertEvent& held : held_) out.push_back(std::move(held));
  held_.clear();
}
