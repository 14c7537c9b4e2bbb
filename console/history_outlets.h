#pragma once
// The console's outlets with the history: every row printed also goes to the day file; the one
// row that says the history cannot be written is printed only.
#include "history/history_writer.h"
#include "monitor/report_outlets.h"

class HistoryOutlets final : public IReportOutlets {
 public:
  HistoryOutlets(IReportOutlets& screen, HistoryWriter& history) : screen_(screen), history_(history) {}

  void InsertLogRow(U16View text) override {
    screen_.InsertLogRow(text);
    const U16 failure = history_.Append(text);
    if (!failure.empty()) screen_.InsertLogRow(failure);
  }
  int ShowNotification(int show, int seconds, U16View text, U16View title) override {
    return screen_.ShowNotification(show, seconds, text, title);
  }
  void SetTrayTip(U16View text) override { screen_.SetTrayTip(text); }

 private:
  IReportOutlets& screen_;
  HistoryWriter& history_;
};
