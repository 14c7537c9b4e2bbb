#pragma once
// The current run's records, one per site in site order (site n at position n - 1). A deque
// keeps every record at its address while more are appended, which the workers rely on: each
// holds the address of its own record until the run has ended.
#include <deque>

#include "monitor/site_probe_task.h"

using TaskTable = std::deque<SiteProbeTask>;
