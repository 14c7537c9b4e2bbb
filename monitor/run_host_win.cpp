#include "monitor/run_host_win.h"

void* Win32RunThreads::CreateWorkerThread(SiteProbeTask* task) {
  return ::CreateThread(nullptr, 0, workerEntry_, task, 0, nullptr);
}

ThreadWait Win32RunThreads::WaitForThreadOrInput(void* thread) {
  HANDLE handle = static_cast<HANDLE>(thread);
  const DWORD result = ::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
  if (result == WAIT_OBJECT_0) return ThreadWait::Ended;
  if (result == WAIT_FAILED) return ThreadWait::Failed;
  return ThreadWait::Input;
}

void Win32RunThreads::DispatchOneMessage() {
  MSG msg;
  if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

void Win32RunThreads::CloseThread(void* thread) { ::CloseHandle(static_cast<HANDLE>(thread)); }

LocalTime Win32RunThreads::Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}
