#pragma once
// Waiting on real conditions against deadlines. On a thread with windows, messages are
// dispatched until the condition holds, a handle is signalled or the deadline passes; state that
// no message announces (another thread's or another program's windows) is polled.
//
// A WM_QUIT met on the way is never dispatched. When the caller passes quitCode, its code is
// written there and the message is gone; otherwise it is posted again (for the test that looks
// for it) and dispatching stops for that round.
#include <windows.h>

#include <chrono>
#include <functional>

namespace sitemon_test {

// Dispatches what is queued now.
void PumpPending(int* quitCode = nullptr);

// True when `done` holds before `timeout` has passed (asked once more at the deadline).
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5),
               int* quitCode = nullptr);

// Dispatches for the whole period (to show that something does NOT happen within it).
void PumpFor(std::chrono::milliseconds period, int* quitCode = nullptr);

// Waits for `handle` (a thread, say) while dispatching; false when it was not signalled in time.
bool PumpUntilSignalled(HANDLE handle, std::chrono::milliseconds timeout);

// Milliseconds on the performance counter since the watch was made.
class Stopwatch {
 public:
  Stopwatch() { ::QueryPerformanceCounter(&start_); }
  double Milliseconds() const {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_;
};

// Asks `condition` every `poll` until it holds or `timeout` has passed (once more at the
// deadline, so a slow poll never misses it). The milliseconds until it held go to *waitedMs.
template <typename Condition>
bool PollUntil(Condition condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds poll = std::chrono::milliseconds(50), double* waitedMs = nullptr) {
  const Stopwatch watch;
  for (;;) {
    const bool expired = watch.Milliseconds() >= static_cast<double>(timeout.count());
    if (condition()) {
      if (waitedMs) *waitedMs = watch.Milliseconds();
      return true;
    }
    if (expired) return false;
    ::Sleep(static_cast<DWORD>(poll.count()));
  }
}

// The first top-level window of this process with the given class whose owner is `owner` (any
// owner when `owner` is null); visible or not.
HWND FindOwnWindow(const wchar_t* className, HWND owner = nullptr);

}  // namespace sitemon_test
