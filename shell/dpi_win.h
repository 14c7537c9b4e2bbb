#pragma once
// The DPI a window is shown at, for what the windows size in pixels themselves (fonts, frames,
// icons). Windows before 10 (1607) and older Wine have no per-window DPI: then the screen's.
#include <windows.h>

#include "shell/dpi_scale.h"

// The DPI of the monitor `window` is on (GetDpiForWindow where it exists), else the screen's
// LOGPIXELSY; 96 when neither answers.
int WindowDpi(HWND window);

// The system's DPI, which the notification area draws at (GetDpiForSystem where it exists,
// else the screen's LOGPIXELSY); 96 when neither answers.
int SystemDpi();

// GetSystemMetrics at a DPI (GetSystemMetricsForDpi where it exists, else the metric at the
// system's DPI, which is what older systems scale everything to).
int SystemMetricAtDpi(int index, int dpi);

// `pixels` at 96 DPI in pixels at `window`'s DPI.
inline int ScaleForWindow(HWND window, int pixels) { return ScaleToDpi(pixels, WindowDpi(window)); }

// WM_DPICHANGED: moves and sizes `window` to the rectangle Windows suggests (its lParam).
void TakeSuggestedRect(HWND window, LPARAM suggested);

// Posted by a dialog to itself at WM_DPICHANGED, whose default processing the dialog lets run
// (it scales the template's controls): what the dialog places in pixels itself is placed again
// when this arrives, after the controls have their new sizes.
constexpr UINT kDpiLayoutMessage = WM_APP + 0x51;
