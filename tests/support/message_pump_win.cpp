#include "tests/support/message_pump_win.h"

#include <algorithm>

namespace sitemon_test {

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait: conditions changed by other threads without a message are seen
// this often.
constexpr std::chrono::milliseconds kSlice{20};

DWORD SliceUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<DWORD>(std::clamp(left, std::chrono::milliseconds(0), kSlice).count());
}

}  // namespace

void PumpPending(int* quitCode) {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (quitCode != nullptr) {
        *quitCode = static_cast<int>(msg.wParam);
        continue;
      }
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout, int* quitCode) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    PumpPending(quitCode);
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, SliceUntil(deadline), QS_ALLINPUT);
  }
}

void PumpFor(std::chrono::milliseconds period, int* quitCode) {
  const auto deadline = Clock::now() + period;
  for (;;) {
    PumpPending(quitCode);
    if (Clock::now() >= deadline) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, SliceUntil(deadline), QS_ALLINPUT);
  }
}

bool PumpUntilSignalled(HANDLE handle, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    PumpPending();
    if (::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return true;
    if (Clock::now() >= deadline) return false;
    ::MsgWaitForMultipleObjects(1, &handle, FALSE, SliceUntil(deadline), QS_ALLINPUT);
  }
}

namespace {

struct FindRequest {
  const wchar_t* className;
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM param) {
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
  ::EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

}  // namespace sitemon_test
