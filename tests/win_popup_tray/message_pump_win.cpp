#include "tests/win_popup_tray/message_pump_win.h"

#include <algorithm>

namespace {
void PumpOnce(DWORD waitMs, int* quitCode) {
  ::MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (quitCode != nullptr) *quitCode = static_cast<int>(msg.wParam);
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}
}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, int* quitCode) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    PumpOnce(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)), quitCode);
  }
}

void PumpFor(DWORD periodMs, int* quitCode) {
  const ULONGLONG deadline = ::GetTickCount64() + periodMs;
  for (ULONGLONG now = ::GetTickCount64(); now < deadline; now = ::GetTickCount64())
    PumpOnce(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)), quitCode);
}

namespace {
struct FindRequest {
  const wchar_t* className;
  HWND owner;
  HWND found;
};
BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId()) return TRUE;
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (lstrcmpW(name, request->className) != 0) return TRUE;
  if (request->owner != nullptr && ::GetWindow(window, GW_OWNER) != request->owner) return TRUE;
  request->found = window;
  return FALSE;
}
}  // namespace

HWND FindOwnWindow(const wchar_t* className, HWND owner) {
  FindRequest request{className, owner, nullptr};
  ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&request));
  return request.found;
}
