#pragma once
// An outlet realisation that records every call in order; used by tests and by callers that
// need to check what the engine asked for.
#include <vector>

#include "monitor/report_outlets.h"

struct OutletCall {
  enum Kind { Row, Popup, Tip } kind = Row;
  int show = 0;
  int seconds = 0;
  U16 text;
  U16 title;
  bool operator==(const OutletCall&) const = default;
};

class RecordingOutlets : public IReportOutlets {
 public:
  void InsertLogRow(U16View text) override { calls.push_back({OutletCall::Row, 0, 0, U16(text), {}}); }
  int ShowNotification(int show, int seconds, U16View text, U16View title) override {
    calls.push_back({OutletCall::Popup, show, seconds, U16(text), U16(title)});
    return 1;
  }
  void SetTrayTip(U16View text) override { calls.push_back({OutletCall::Tip, 0, 0, U16(text), {}}); }

  // The rows as the log would show them, newest first.
  std::vector<U16> LogNewestFirst() const {
    std::vector<U16> rows;
    for (const auto& c : calls)
      if (c.kind == OutletCall::Row) rows.insert(rows.begin(), c.text);
    return rows;
  }
  void Clear() { calls.clear(); }

  std::vector<OutletCall> calls;
};
