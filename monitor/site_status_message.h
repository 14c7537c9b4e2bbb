#pragma once
// The worker's report to the main window: word parameter the site number, long parameter the
// ProbeStatus (monitor/probe_status.h). Every report is posted but the last (9), which is sent.
#include <cstdint>

inline constexpr uint32_t WM_SITE_STATUS = 0x0400 + 5;  // WM_USER + 5
