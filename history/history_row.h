#pragma once
// Reading the history: a day file's bytes split into whole rows, and one row read by its time
// stamp and the status text at its end.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/log_time.h"
#include "base/utf16.h"

// The rows of a day file: its lines without their line ends, the byte-order mark at the start
// dropped. A last line without its line end (torn by a lost write) is left out.
std::vector<std::string_view> DayFileLines(std::string_view bytes);

// The stamp "%4d-%d-%d %02d:%02d:%02d" and the blank after it at the start of a row; nullopt
// when the row does not start with a valid one. `stampUnits` gets its length with the blank.
std::optional<LocalTime> RowStamp(U16View row, size_t* stampUnits = nullptr);

// Seconds of a local time counted as if every day had 86 400 of them (what the row says, read
// without a time zone).
int64_t SecondsOf(const LocalTime& t);

enum class RowState { Up, Down, NotKnown };

struct HistoryRow {
  enum Kind {
    Other,         // a stamped row that means nothing to the report
    Site,          // "<address> <status text>"
    NetworkDown,   // "本机网络断线，请检查网线是否插好"
    NetworkUp,     // "本机网络恢复正常"
    RunStart,      // "监控开始运行"
    RunStop,       // "监控停止!"
    ProgramStart,  // "软件启动"
  };
  Kind kind = Other;
  int64_t seconds = 0;
  LocalTime time;
  U16 address;      // site rows
  U16 statusText;   // site rows
  RowState state = RowState::NotKnown;  // site rows
};

// One row of a day file, UTF-8 without its line end; nullopt for a row without a time stamp (a
// bare status text) or one that is not text of ours.
std::optional<HistoryRow> ReadHistoryRow(std::string_view utf8);
