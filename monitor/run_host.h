#pragma once
// What run control needs from its surroundings, in two halves: the thread half (Win32:
// Win32RunThreads in monitor/run_host_win.h) and the window half, which the main window (or the
// console program) implements. Everything here is called on the main window's thread.
#include "base/log_time.h"
#include "monitor/site_probe_task.h"
#include "base/utf16.h"
#include "monitor/report_outlets.h"

enum class ThreadWait {
  Ended,   // the thread has ended
  Input,   // input or a sent message arrived for the calling thread; the thread may still run
  Failed,  // the thread cannot be waited on
};

class IRunThreads {
 public:
  virtual ~IRunThreads() = default;
  // Starts a worker on the record (which stays at its address for the worker's life); the
  // thread's handle, or null when it could not be created.
  virtual void* CreateWorkerThread(SiteProbeTask* task) = 0;
  // Waits, without time-out, until the thread has ended or input arrives for the calling thread.
  virtual ThreadWait WaitForThreadOrInput(void* thread) = 0;
  // Retrieves and dispatches one message, if there is one; messages other threads send
  // synchronously are delivered while looking.
  virtual void DispatchOneMessage() = 0;
  virtual void CloseThread(void* thread) = 0;
  virtual LocalTime Now() = 0;
};

class IRunWindow {
 public:
  virtual ~IRunWindow() = default;
  // The site list edit box's whole text.
  virtual U16 ReadSiteListText() = 0;
  virtual void SetSiteListText(U16View text) = 0;
  virtual void EnableStartStop(bool startEnabled, bool stopEnabled) = 0;
  // The three settings as selected in the lists; the window keeps them as the settings it saves.
  virtual MonitorSettings ReadSettings() = 0;
  // Writes the joined list to site.txt; false when the file could not be opened for writing.
  virtual bool StoreSiteList(U16View joinedList) = 0;
  // Writes Config.dat (at destruction).
  virtual void SaveSettings() = 0;
  // The window the workers report to.
  virtual void* NotifyWindow() = 0;
  virtual IReportOutlets& Outlets() = 0;
};
