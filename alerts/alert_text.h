#pragma once
// The words of the alerts: every message starts with the program's name and the machine's, a
// site's address shows without a user name or password, and the webhook gets the same story as
// JSON fields.
#include <cstddef>
#include <string>
#include <vector>

#include "alerts/alert_channel.h"
#include "alerts/alert_event.h"
#include "base/log_time.h"
#include "base/utf16.h"

inline constexpr char kAlertProgramName[] = "Corvell网站监控";

// The address as a message shows it (UTF-8): a user name and password before the host are left
// out ("http://user:pw@host/x" shows "http://host/x"), and a very long address is cut.
std::string ShownAddress(U16View url);

// "1小时5分0秒", "45秒", "2天3小时0分0秒".
std::string OutageLengthText(int64_t seconds);

// One message for these alerts (a storm lists every one); `omitted` alerts of the storm were
// merged away for want of room and are counted at the end.
AlertMessage ComposeAlertMessage(const std::string& machine, const std::vector<AlertEvent>& events,
                                 size_t omitted = 0);

// The message of "发送测试消息" and of the console's --alert-test.
AlertMessage ComposeTestMessage(const std::string& machine, const LocalTime& now, int64_t unixNow);

// "2026-12-08T02:00:13+08:00": the local time with its offset from UTC, which the calendar
// seconds taken at the same moment tell.
std::string IsoLocalTime(const LocalTime& local, int64_t unixTime);
