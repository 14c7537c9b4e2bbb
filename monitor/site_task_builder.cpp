#include "monitor/site_task_builder.h"

#include <cstring>

SiteTaskBuild BuildSiteProbeTask(SiteProbeTask& task, const CLineList& lines, size_t index,
                                 const MonitorSettings& settings, void* notifyWindow) {
  std::memset(static_cast<void*>(&task), 0, sizeof task);
  if (index >= lines.Count()) return SiteTaskBuild::kNoSuchLine;
  task.siteNumber = static_cast<int32_t>(index + 1);
  task.checkIntervalSeconds = settings.checkIntervalSeconds;
  task.retryCount = settings.retryCount;
  task.retryIntervalSeconds = settings.retryIntervalSeconds;
  task.lastStatus = 200;
  task.notifyWindow = notifyWindow;
  const U16View line = lines.LineView(index);
  const size_t copied = CopyToField(task.url, kSiteUrlUnits, line);
  return copied < line.size() ? SiteTaskBuild::kUrlCut : SiteTaskBuild::kBuilt;
}
