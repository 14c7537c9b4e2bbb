#pragma once
// The three ways the engine and the notice check make things visible: a run-log row, the
// notification popup and the tray tooltip. Called only on the main window's thread.
#include "base/utf16.h"

class IReportOutlets {
 public:
  virtual ~IReportOutlets() = default;
  // A new first row of the run log; the log keeps its own copy.
  virtual void InsertLogRow(U16View text) = 0;
  // show 0 hides the popup; otherwise it shows title and text for `seconds` (0 means 60, a
  // negative value keeps the running countdown). Empty text and title keep the previous texts.
  // Always returns 1.
  virtual int ShowNotification(int show, int seconds, U16View text, U16View title) = 0;
  // The tray icon's tooltip (at most 127 characters).
  virtual void SetTrayTip(U16View text) = 0;
};
