#pragma once
// The report outlets of the console program: every log row, and every popup that is shown, becomes
// one line of UTF-8 text; hiding the popup and tooltip changes print nothing.
#include <functional>
#include <string>
#include <string_view>

#include "monitor/report_outlets.h"

class ConsoleOutlets final : public IReportOutlets {
 public:
  // Receives each line with its CR LF.
  using LineSink = std::function<void(std::string_view line)>;
  explicit ConsoleOutlets(LineSink sink) : sink_(std::move(sink)) {}

  // The row as the run log shows it.
  void InsertLogRow(U16View text) override;
  // "[title] text" when shown.
  int ShowNotification(int show, int seconds, U16View text, U16View title) override;
  void SetTrayTip(U16View text) override;

 private:
  LineSink sink_;
};
