#pragma once
// The history's own thread: the window (or the console) hands every row over in memory and goes
// on; the thread does all the disk work (opening, writing, listing, pruning) and posts the rows
// the run log must show (the history stopped or resumed) back as WM_HISTORY_ROW.
#include <windows.h>

#include <memory>

#include "base/utf16.h"

// lParam: a U16* the receiver takes with TakeHistoryRow.
constexpr UINT WM_HISTORY_ROW = WM_APP + 25;
U16 TakeHistoryRow(LPARAM lParam);

class HistoryThread {
 public:
  // `program` 'W' (the window) or 'C' (the console) names the run; rows for the run log go to
  // `notify`. An empty folder path writes nothing.
  HistoryThread(const wchar_t* folder, char program, HWND notify);
  // Lets the thread write what was handed over, waiting a few seconds at most.
  ~HistoryThread();
  HistoryThread(const HistoryThread&) = delete;
  HistoryThread& operator=(const HistoryThread&) = delete;

  // Never waits on the disk.
  void Post(U16View row);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  HANDLE thread_ = nullptr;
};
