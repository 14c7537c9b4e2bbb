#pragma once
// What the driver's commands share: argument parsing, failure answers, deadline waits, finding
// the main window and its controls, and opening the program's process for remote memory.
#include <windows.h>

#include <string>
#include <vector>

#include "base/unique_handle_win.h"
#include "tests/e2e/driver/json_line.h"

using Args = std::vector<std::wstring>;
using Command = bool (*)(const Args&, JsonLine&);

// Room for one text read through remote memory (a log row, a tooltip).
constexpr size_t kRemoteTextUnits = 2048;

// Writes the error into the answer; returns false so commands can `return Fail(...)`.
bool Fail(JsonLine& out, const wchar_t* error);
bool ParseNumber(const std::wstring& text, long long& value);
// Argument `index` as a number, or `fallback` when it is not given.
bool NumberArg(const Args& args, size_t index, long long fallback, long long& value);

// Polls `condition` until it holds or the time-out has passed; the condition is checked once more
// at the deadline so a slow poll never misses it.
template <typename Condition>
bool WaitUntil(long long timeoutMs, Condition condition) {
  constexpr DWORD kPollMs = 50;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (true) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return condition();
    ::Sleep(kPollMs);
  }
}

std::string RectJson(const RECT& r);
RECT WorkArea();
// The process of `window`, opened for reading and writing its memory.
UniqueKernelHandle OpenForMemory(HWND window);
// The main window, or a failure answer.
bool MainWindow(JsonLine& out, HWND& main);
// The main window's control whose id is args[0], or a failure answer.
bool Control(const Args& args, JsonLine& out, HWND& control);
