#pragma once
// The fixed texts of the run log's rows that the history reads back: each site status, each marker
// row, and the history's own two rows. The monitor and the window write them from here and the
// history reads them from here; there is no second copy.
#include "base/utf16.h"

// Site rows: "<stamp> <address> <text>".
inline constexpr U16View kTextInterim = u"临时响应";
inline constexpr U16View kTextSuccess = u"访问正常";
inline constexpr U16View kTextRedirect = u"当前网页300跳转";
inline constexpr U16View kTextClientError = u"网页不存在";
inline constexpr U16View kTextServerError = u"网站服务器，内部发生错误500";
inline constexpr U16View kTextUnknownHttp = u"http未知状态";
inline constexpr U16View kTextNoInternetHandle = u"本地网络始初化失败";
inline constexpr U16View kTextUnreachable = u"不能访问网站，可能本机不能上网，或网站故障";
// "<stamp> [<site number>]线程退出"
inline constexpr U16View kTextWorkerEnded = u"线程退出";
// The bare row of a report with no status: no stamp, no address.
inline constexpr U16View kTextUnknown = u"未知状态";

// Marker rows: "<stamp> <text>".
inline constexpr U16View kTextNetworkDown = u"本机网络断线，请检查网线是否插好";
inline constexpr U16View kTextNetworkBack = u"本机网络恢复正常";
inline constexpr U16View kTextRunStart = u"监控开始运行";
inline constexpr U16View kTextRunStop = u"监控停止!";
inline constexpr U16View kTextProgramStart = u"软件启动";

// The history's own rows: "<stamp> <text><GetLog folder>".
inline constexpr U16View kTextHistoryFailed = u"历史记录无法写入：";
inline constexpr U16View kTextHistoryResumed = u"历史记录恢复写入：";
