#pragma once
// SiteMonitor.exe's windows found and worked from another process: the main window (by its
// title and its run log), its popup and its about box, its controls, and waits on what they show.
// Used by the end-to-end driver and by the reliability tool.
#include <windows.h>

#include <string>

// The main window: a top-level window titled "Corvell网站监控" that holds the run log, of the
// given process (of any process when 0). Null when none exists (hidden windows count).
HWND FindMainWindow(DWORD process = 0);
// The popup of the main window's process: another top-level dialog of that process holding the
// popup's body text. Null when none exists.
HWND FindPopup(HWND mainWindow);
// The about box of the main window's process: a dialog holding the about text. Null when none.
HWND FindAboutBox(HWND mainWindow);
// The "告警通知" dialog of the main window's process: a dialog holding the channel list. Null when none.
HWND FindAlertsDialog(HWND mainWindow);

// WM_SETTEXT; false when there is no control or it did not take the text.
bool SetControlText(HWND control, const std::wstring& text);
// CB_SETCURSEL; false unless the combo box selected exactly that entry.
bool SelectComboEntry(HWND combo, long long index);
// What a click on a button tells its dialog: WM_COMMAND with BN_CLICKED, posted, so that long
// handlers (Stop waits for the workers) can be watched while they run.
bool PostClick(HWND control);
// Rows in the main window's run log; -1 when it did not answer.
long long RunLogRowCount(HWND mainWindow);
