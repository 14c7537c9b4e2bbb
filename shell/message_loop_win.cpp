#include "shell/message_loop_win.h"

Win32MessageQueue CMessageLoop::queue_;

namespace {
uint32_t CurrentThread() { return ::GetCurrentThreadId(); }
}  // namespace

CAppModule g_appModule(CurrentThread);

bool Win32MessageQueue::HasMessage() {
  MSG peeked;
  return ::PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

int Win32MessageQueue::GetMessage(MSG& msg) {
  const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
  return got == -1 ? -1 : (got != FALSE ? 1 : 0);
}

void Win32MessageQueue::TranslateAndDispatch(const MSG& msg) {
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}
