#pragma once
// Turns one worker report (site number, status) into what the user sees: a run-log row, for
// outages, recoveries and network changes a popup, and a new tray tooltip. Keeps each site's
// lastStatus to recognise recoveries and to fold a worker's repeated network-down reports.
#include <cstdint>

#include "base/log_time.h"
#include "monitor/task_table.h"
#include "monitor/report_outlets.h"

// The text shown for a status.
U16View StatusText(int32_t status);

// Handles one report on the main window's thread. A site number of 0 or beyond the table (a late
// report after the run was cleared) is dropped without any effect. `now` stamps the row.
void HandleSiteStatus(uint64_t siteNumber, int32_t status, TaskTable& tasks, const LocalTime& now,
                      IReportOutlets& outlets);
