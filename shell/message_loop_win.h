#pragma once
// The message loop over the thread's real queue, and the process's application module.
#include <windows.h>

#include "shell/app_module.h"
#include "shell/message_loop.h"

using CMessageFilter = CMessageFilterT<MSG>;

class Win32MessageQueue final : public MessageQueueT<MSG> {
 public:
  bool HasMessage() override;
  int GetMessage(MSG& msg) override;
  void TranslateAndDispatch(const MSG& msg) override;
};

class CMessageLoop : public CMessageLoopT<MSG> {
 public:
  CMessageLoop() : CMessageLoopT<MSG>(queue_) {}

 private:
  static Win32MessageQueue queue_;  // stateless: the calling thread's queue
};

using CAppModule = CAppModuleT<CMessageLoop>;

// The one module of the process; it exists before wWinMain runs.
extern CAppModule g_appModule;
