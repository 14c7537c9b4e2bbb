#include "notice/service_notice_handler.h"

#include "notice/notice_check.h"
#include "notice/service_notice_message.h"
#include "monitor/report_texts.h"

bool HandleServiceNotice(int32_t kind, const char16_t* text, bool& updateShown, U16View appTitle,
                         IReportOutlets& outlets) {
  switch (kind) {
    case kNoticeText:
      if (IsShownNoticeText(text)) outlets.ShowNotification(1, 0, text, kPopupTitle);
      return true;
    case kUpdateAvailable:
      if (!updateShown) {
        outlets.ShowNotification(1, 0, u"发现新版本，请及时更新", appTitle);
        updateShown = true;
      }
      return true;
    default:
      return false;
  }
}

void ReceiveServiceNotice(NoticeLink* link, int32_t kind, const char16_t* text, bool& updateShown,
                          U16View appTitle, IReportOutlets& outlets) {
  if (link && link->WindowGone()) return;
  HandleServiceNotice(kind, text, updateShown, appTitle, outlets);
  if (link && kind == kNoticeText && IsShownNoticeText(text)) link->NoticeShown(text);
}
