#pragma once
// Looking at windows as another program sees them: class names, texts read with a time-out (a
// hung window cannot hang the reader), the work area, and Wine's stand-alone system tray (its
// icon windows, and the tooltip texts that explorer's tooltip windows hold for them).
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "base/unique_handle_win.h"

namespace sitemon_test {

// How long a window gets to answer one message: long enough for a program starved of the
// processor by other work, far shorter than the hang a test looks for.
constexpr UINT kAnswerTimeoutMs = 30000;
// Room for one text read through another process's memory (a log row, a tooltip).
constexpr size_t kRemoteTextUnits = 2048;

std::wstring ClassOf(HWND window);
// SendMessageTimeoutW with kAnswerTimeoutMs; false when the window did not answer.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// The window's text through WM_GETTEXT; false when the window did not answer.
bool WindowTextOf(HWND window, std::wstring& text);
RECT WorkArea();
// The process of `window`, opened for reading and writing its memory.
UniqueKernelHandle OpenForMemory(HWND window);

// Whether Wine shows its stand-alone tray window (it does when no other tray host runs).
bool HasStandaloneTray();
// The icon windows of Wine's stand-alone tray, in child order.
std::vector<HWND> TrayIcons();
// The tooltip texts of the tools whose window is one of `tools`, from the tooltip windows of
// every process.
std::vector<std::wstring> TooltipTextsOf(const std::vector<HWND>& tools);

}  // namespace sitemon_test
