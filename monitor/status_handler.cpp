#include "monitor/status_handler.h"

#include "base/status_texts.h"
#include "monitor/probe_status.h"
#include "monitor/report_texts.h"

namespace {

// Status classes the handler tells apart.
enum class Kind { Interim, Success, Redirect, ClientError, ServerError, UnknownHttp,
                  WorkerEnded, NetworkDown, NetworkBack, NoInternetHandle, Unreachable, Unknown };

Kind Classify(int32_t status) {
  if (status >= 600) return Kind::UnknownHttp;
  if (status >= 500) return Kind::ServerError;
  if (status >= 400) return Kind::ClientError;
  if (status >= 300) return Kind::Redirect;
  if (status >= 200) return Kind::Success;
  if (status >= 100) return Kind::Interim;
  switch (status) {
    case kStatusWorkerEnded:
      return Kind::WorkerEnded;
    case kStatusNetworkDown:
      return Kind::NetworkDown;
    case kStatusNetworkBack:
      return Kind::NetworkBack;
    case kStatusNoInternetHandle:
      return Kind::NoInternetHandle;
    case kStatusUrlNotOpened:
      return Kind::Unreachable;
    default:
      return Kind::Unknown;
  }
}

U16 SiteRow(const LocalTime& now, const SiteProbeTask& task, U16View text) {
  U16 row = FormatLogTime(now);
  row += u' ';
  row += task.url;
  row += u' ';
  row += text;
  return row;
}

U16 NetworkRow(const LocalTime& now, U16View text) {
  U16 row = FormatLogTime(now);
  row += u' ';
  row += text;
  return row;
}

U16 WorkerEndRow(const LocalTime& now, uint64_t siteNumber, U16View text) {
  U16 row = FormatLogTime(now);
  row += u" [";
  row += U16Decimal(static_cast<int64_t>(siteNumber));
  row += u']';
  row += text;
  return row;
}

U16 TrayTip(U16View text) {
  U16 tip(kTrayTipName);
  tip += u"\n状态：";
  tip += text;
  return tip;
}

}  // namespace

U16View StatusText(int32_t status) {
  switch (Classify(status)) {
    case Kind::Interim: return kTextInterim;
    case Kind::Success: return kTextSuccess;
    case Kind::Redirect: return kTextRedirect;
    case Kind::ClientError: return kTextClientError;
    case Kind::ServerError: return kTextServerError;
    case Kind::UnknownHttp: return kTextUnknownHttp;
    case Kind::WorkerEnded: return kTextWorkerEnded;
    case Kind::NetworkDown: return kTextNetworkDown;
    case Kind::NetworkBack: return kTextNetworkBack;
    case Kind::NoInternetHandle: return kTextNoInternetHandle;
    case Kind::Unreachable: return kTextUnreachable;
    case Kind::Unknown: break;
  }
  return kTextUnknown;
}

void HandleSiteStatus(uint64_t siteNumber, int32_t status, TaskTable& tasks, const LocalTime& now,
                      IReportOutlets& outlets) {
  if (siteNumber == 0 || siteNumber > tasks.size()) return;
  SiteProbeTask& task = tasks[siteNumber - 1];
  const U16View text = StatusText(status);

  switch (Classify(status)) {
    case Kind::Interim:
    case Kind::UnknownHttp:
    case Kind::NoInternetHandle:
      outlets.InsertLogRow(SiteRow(now, task, text));
      break;
    case Kind::Success: {
      const U16 row = SiteRow(now, task, text);
      outlets.InsertLogRow(row);
      // A recovery is announced once; steady answers only log.
      if (task.lastStatus / 100 != 2) outlets.ShowNotification(1, 3, row, kPopupTitle);
      break;
    }
    case Kind::Redirect:
    case Kind::ClientError:
    case Kind::ServerError: {
      const U16 row = SiteRow(now, task, text);
      outlets.InsertLogRow(row);
      outlets.ShowNotification(1, 10, row, kPopupTitle);
      break;
    }
    case Kind::Unreachable: {
      const U16 row = SiteRow(now, task, text);
      outlets.InsertLogRow(row);
      outlets.ShowNotification(1, 0, row, kPopupTitle);
      break;
    }
    case Kind::WorkerEnded:
      outlets.InsertLogRow(WorkerEndRow(now, siteNumber, text));
      break;
    case Kind::NetworkDown:
      // The worker reports a dead link every second: only the first report of an outage shows.
      if (task.lastStatus != kStatusNetworkDown) {
        outlets.InsertLogRow(NetworkRow(now, text));
        outlets.ShowNotification(1, 0, text, kPopupTitle);
      }
      break;
    case Kind::NetworkBack:
      // Only a site that saw the outage announces its end; otherwise the report has no effect.
      if (task.lastStatus != kStatusNetworkDown) return;
      outlets.ShowNotification(1, 5, text, kPopupTitle);
      outlets.InsertLogRow(NetworkRow(now, text));
      break;
    case Kind::Unknown:
      outlets.InsertLogRow(U16(text));
      break;
  }
  task.lastStatus = status;
  outlets.SetTrayTip(TrayTip(text));
}
