#include "monitor/site_task_builder.h"

SiteTaskBuild BuildSiteProbeTask(SiteProbeTask& task, const CLineList& lines, size_t index,
                                 const MonitorSettings& settings, void* notifyWindow) {
  task = SiteProbeTask{};
  if (index >= lines.Count()) return SiteTaskBuild::kNoSuchLine;
  task.siteNumber = static_cast<int32_t>(index + 1);
  task.checkIntervalSeconds = settings.checkIntervalSeconds;
  task.retryCount = settings.retryCount;
  task.retryIntervalSeconds = settings.retryIntervalSeconds;
  task.lastStatus = 200;
  task.notifyWindow = notifyWindow;
  task.url = lines.LineView(index);
  return SiteTaskBuild::kBuilt;
}
