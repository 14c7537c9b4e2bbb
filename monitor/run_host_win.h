#pragma once
// The Win32 thread half of run control: worker threads, the stop wait that keeps handling
// messages, handles and the local time.
#include <windows.h>

#include "monitor/run_host.h"

class Win32RunThreads final : public IRunThreads {
 public:
  // workerEntry is the probe worker's thread entry (SiteProbeThreadProc); tests give their own.
  explicit Win32RunThreads(LPTHREAD_START_ROUTINE workerEntry) : workerEntry_(workerEntry) {}

  // CreateThread with the default stack, running at once; the thread id is not kept.
  void* CreateWorkerThread(SiteProbeTask* task) override;
  // MsgWaitForMultipleObjects on the one handle with QS_ALLINPUT and no time-out.
  ThreadWait WaitForThreadOrInput(void* thread) override;
  // PeekMessageW(PM_REMOVE) for any window and message (which also delivers messages other
  // threads send), then DispatchMessageW without translation.
  void DispatchOneMessage() override;
  void CloseThread(void* thread) override;
  LocalTime Now() override;

 private:
  LPTHREAD_START_ROUTINE workerEntry_;
};
