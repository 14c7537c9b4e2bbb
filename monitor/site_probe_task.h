#pragma once
// The record one probe worker reads for its whole life.
#include <cstdint>

#include "base/utf16.h"
#include "store/monitor_settings.h"

struct SiteProbeTask {
  int32_t siteNumber = 0;
  void* threadHandle = nullptr;  // HANDLE of the worker; null when creating the thread failed
  int32_t checkIntervalSeconds = 0;
  int32_t retryCount = 0;
  int32_t retryIntervalSeconds = 0;
  int32_t lastStatus = 0;        // written only on the main window's thread
  void* notifyWindow = nullptr;  // HWND that receives the worker's reports
  U16 url;  // the whole normalised line, however long: the address is probed as typed
};
