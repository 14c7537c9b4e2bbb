#pragma once
// The main window's handling of WM_SERVICE_NOTICE, on the main window's thread.
#include <cstdint>

#include "base/utf16.h"
#include "monitor/report_outlets.h"
#include "notice/notice_link.h"

// Kind 100: the notice text (zero-terminated) is shown when longer than 5 characters.
// Kind 120: "发现新版本，请及时更新" under appTitle (the window title, string 130), once per run:
// updateShown starts false with the window and is set by the first update popup.
// Other kinds are not this handler's business. Returns true when the kind was 100 or 120.
bool HandleServiceNotice(int32_t kind, const char16_t* text, bool& updateShown, U16View appTitle,
                         IReportOutlets& outlets);

// WM_SERVICE_NOTICE as the main window receives it: nothing once the window is marked gone on
// the link; otherwise handled as above, and a notice text shown counts as seen, which is what
// lets its identifier be stored.
void ReceiveServiceNotice(NoticeLink* link, int32_t kind, const char16_t* text, bool& updateShown,
                          U16View appTitle, IReportOutlets& outlets);
