#pragma once
// One line of a day file (docs/history.md): the row as the run log showed it, then after a TAB the
// facts the report counts by (the run that wrote it, its seconds counter, the UTC second and the
// zone). Read on UTF-8 bytes as they lie in the file; nothing here allocates per line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/log_time.h"
#include "base/utf16.h"

// Lines longer than this are skipped by the reader and never written.
constexpr size_t kHistoryLineLimit = 64 * 1024;

struct LineFacts {
  std::string_view run;    // "W-<start UTC>-<pid>" or "C-..."
  int64_t t = 0;           // the run's seconds counter
  int64_t utc = 0;         // the UTC second
  int zoneMinutes = 0;     // minutes east of UTC
  bool carry = false;      // a copy of an earlier row: the run's state as the file began
};

// The facts as the writer appends them to a row: "\t~ run=... t=... u=... z=...".
std::string FormatLineFacts(std::string_view run, int64_t t, int64_t utc, int zoneMinutes);
constexpr std::string_view kCarrySuffix = " carry";

struct HistoryLine {
  std::string_view row;               // the whole line when it has no facts (the earlier format)
  std::optional<LineFacts> facts;
};

// The report's pass calls these on every line: the views go by reference, since a view passed by
// value is copied through memory on Windows and the copy waits on the stores that made it.
HistoryLine SplitHistoryLine(const std::string_view& line);

// The stamp "%4d-%d-%d %02d:%02d:%02d" and the blank after it at the start of a row; nullopt
// when the row does not start with a valid one. `stampBytes` gets its length with the blank.
std::optional<LocalTime> RowStamp(const std::string_view& row, size_t* stampBytes = nullptr);

// Seconds of a local time counted as if every day had 86 400 of them (what a stamp says, read
// without a time zone), and back.
int64_t SecondsOf(const LocalTime& t);
LocalTime LocalTimeOfSeconds(int64_t seconds);

enum class RowState { Up, Down, NotKnown };

struct HistoryRow {
  enum Kind {
    Other,         // a row that means nothing to the report
    Site,          // "<stamp> <address> <status text>"
    BareUnknown,   // "未知状态" alone: an empty reply, no site named
    NetworkDown,   // "<stamp> 本机网络断线，请检查网线是否插好"
    NetworkUp,     // "<stamp> 本机网络恢复正常"
    RunStart,      // "<stamp> 监控开始运行"
    RunStop,       // "<stamp> 监控停止!"
    ProgramStart,  // "<stamp> 软件启动"
  };
  Kind kind = Other;
  std::optional<LocalTime> stamp;
  std::string_view address;     // site rows
  std::string_view statusText;  // site rows, and the bare row
  RowState state = RowState::NotKnown;
};

// One row, UTF-8; views into `row`.
HistoryRow ReadHistoryRow(const std::string_view& row);

// The state a run leaves a row's kind in: whether it begins or ends watching.
inline bool IsSiteState(HistoryRow::Kind kind) { return kind == HistoryRow::Site || kind == HistoryRow::BareUnknown; }
