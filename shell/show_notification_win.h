#pragma once
// The main window's popup operation: `popup` is the window's m_pPopup. The first call creates
// the popup (hidden, parent the desktop window); show 0 fades it out; any other value slides it
// into the bottom-right corner of the work area for `seconds` (0 means 60, negative keeps the
// running countdown). Empty text and title keep the previous texts. Always returns 1.
#include "shell/message_box_dlg_win.h"

int ShowNotification(CMessageBoxDlg*& popup, int show, int seconds, U16View text, U16View title);

// Destroys the popup's window, if there is one; the popup releases itself and `popup` is null.
void DestroyPopup(CMessageBoxDlg*& popup);
