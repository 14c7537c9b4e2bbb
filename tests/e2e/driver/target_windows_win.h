#pragma once
// Finding the program's windows from outside: the main window (by its title and its run log),
// its popup, and the icons and tooltips of Wine's stand-alone system tray.
#include <windows.h>

#include <string>
#include <vector>

// Ids of the main window's controls that the finder relies on.
constexpr int kRunLogId = 1018;
constexpr int kPopupBodyId = 1005;
constexpr int kAboutTextId = 1017;

// The main window: a top-level window titled "Corvell网站监控" that holds the run log. Null when
// none exists (hidden windows count).
HWND FindMainWindow();
// The popup of the main window's process: another top-level dialog of that process holding the
// body text control. Null when none exists.
HWND FindPopup(HWND mainWindow);
// The about box of the main window's process: a dialog holding the about text. Null when none.
HWND FindAboutBox(HWND mainWindow);
// The icon windows of Wine's stand-alone tray, in child order.
std::vector<HWND> FindTrayIcons();
// The tooltip windows (class tooltips_class32) of every process.
std::vector<HWND> FindTooltipWindows();

std::wstring ClassOf(HWND window);
// A window's text through WM_GETTEXT with a time-out, so a hung target cannot hang the driver.
bool WindowTextOf(HWND window, std::wstring& text);
// SendMessageTimeoutW with the driver's standard time-out; false when the target did not answer.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
