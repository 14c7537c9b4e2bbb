#pragma once
// Waiting on real conditions while this thread's windows keep working: messages are pumped
// until the condition holds or the deadline passes.
#include <windows.h>

#include <functional>

// True when `done` became true before `timeoutMs` ran out. A WM_QUIT met on the way is noted in
// *quitCode (when given) and not dispatched.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, int* quitCode = nullptr);

// Pumps for the whole period (to show that something does NOT happen within it).
void PumpFor(DWORD periodMs, int* quitCode = nullptr);

// The first visible or hidden top-level window of this process with the given class whose
// owner is `owner` (any owner when `owner` is null).
HWND FindOwnWindow(const wchar_t* className, HWND owner = nullptr);
