#pragma once
// The availability page's model, filled from the day files by the report's rules (docs/history.md):
// every site's time over the last 24 hours and the last 7, 30 and 90 days (today among them, from
// local midnight), one cell per day of the 90, its outages, this machine's network outages, the
// watched time and the first day the history still holds.
#include "history/history_source.h"
#include "history/report_page.h"

ReportPageModel BuildReportPageModel(const IDayFiles& files, const ReportClock& now);
