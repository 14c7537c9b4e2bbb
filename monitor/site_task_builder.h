#pragma once
// Builds the record one probe worker reads for its whole life, from the normalised site list
// and the settings of the run.
#include <cstddef>

#include "monitor/line_list.h"
#include "monitor/site_probe_task.h"

enum class SiteTaskBuild {
  kBuilt,        // the whole line is the task's url
  kUrlCut,       // the line was longer than 259 characters; url holds its first 259
  kNoSuchLine,   // index outside the list; the record is left zero-filled
};

// Fills every byte of task with zero, then: siteNumber index + 1, the three settings,
// lastStatus 200, notifyWindow, and url = line index (cut to fit the field, never overrun).
SiteTaskBuild BuildSiteProbeTask(SiteProbeTask& task, const CLineList& lines, size_t index,
                                 const MonitorSettings& settings, void* notifyWindow);
