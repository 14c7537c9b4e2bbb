#pragma once
// Builds the record one probe worker reads for its whole life, from the normalised site list
// and the settings of the run.
#include <cstddef>

#include "monitor/line_list.h"
#include "monitor/site_probe_task.h"

enum class SiteTaskBuild {
  kBuilt,        // the whole line is the task's url
  kNoSuchLine,   // index outside the list; the record is left empty (all zero)
};

// Clears every field of task, then: siteNumber index + 1, the three settings, lastStatus 200,
// notifyWindow, and url = the whole of line index.
SiteTaskBuild BuildSiteProbeTask(SiteProbeTask& task, const CLineList& lines, size_t index,
                                 const MonitorSettings& settings, void* notifyWindow);
