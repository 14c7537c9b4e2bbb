#pragma once
// The record one probe worker reads for its whole life.
#include <cstdint>

#include "store/monitor_settings.h"

constexpr int kSiteUrlUnits = 260;  // url field, terminator included: at most 259 characters

struct SiteProbeTask {
  int32_t siteNumber = 0;
  void* threadHandle = nullptr;  // HANDLE of the worker; null when creating the thread failed
  int32_t checkIntervalSeconds = 0;
  int32_t retryCount = 0;
  int32_t retryIntervalSeconds = 0;
  int32_t lastStatus = 0;        // written only on the main window's thread
  void* notifyWindow = nullptr;  // HWND that receives the worker's reports
  char16_t url[kSiteUrlUnits] = {};
};
