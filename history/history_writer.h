#pragma once
// Appends every row the run log shows to the day file of the row's local date, with the facts
// the report counts by (docs/history.md), and keeps the GetLog folder within its retention. Plain
// logic on a folder interface: the Win32 thread that runs it is history_thread_win.h. A history
// that cannot be written costs the monitoring nothing: the rows wait in memory (bounded) and are
// written once the folder takes them again; the run log is told once each way.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/log_time.h"
#include "base/utf16.h"
#include "history/day_file.h"
#include "history/history_row.h"

// Retention: the last 90 days (today among them), at most 256 MiB of day files in all.
constexpr int kHistoryDays = 90;
constexpr uint64_t kHistoryBytes = 256ull << 20;
// Rows waiting for the disk at most; beyond it the oldest go.
constexpr size_t kHistoryRowsKept = 4096;
// A failed write is tried again this many seconds later (and with every row handed over).
constexpr int kHistoryRetrySeconds = 10;

struct FolderEntry {
  U16 name;
  uint64_t bytes = 0;
};

// The day files to delete, oldest first: those older than the last kHistoryDays days before
// `today`, then the oldest others until the rest fit in kHistoryBytes. The file of `today` and of
// `keep` (the clock's own date) and files not named as day files are never chosen.
std::vector<U16> DayFilesToPrune(const std::vector<FolderEntry>& entries, const DayDate& today, const DayDate& keep);

// "Today" as pruning may take it: the clock's date, but never later than the newest day file found
// when the run began plus the whole days the run has really lasted. A clock far ahead
// thus prunes nothing a right clock would keep.
DayDate PruningToday(const DayDate& clockToday, const std::optional<DayDate>& newestAtStart, int64_t runSeconds);

// The GetLog folder as the writer uses it.
class IHistoryFolder {
 public:
  virtual ~IHistoryFolder() = default;
  // Opens the named file for appending; a file that does not exist yet appears with its UTF-8
  // byte-order mark already in it. `endsInLineEnd` false: its last line is unfinished.
  virtual bool OpenDayFile(U16View name, bool& endsInLineEnd) = 0;
  // Appends the bytes with a single write to the open file.
  virtual bool AppendLine(std::string_view bytes) = 0;
  virtual void CloseDayFile() = 0;
  // Nothing for a folder without a path.
  virtual std::vector<FolderEntry> List() = 0;
  virtual void Delete(U16View name) = 0;
  // The folder as the run log's rows name it.
  virtual U16 Path() const = 0;
};

// A row as it was handed over, with the run's seconds counter and the UTC second then.
struct HandedRow {
  U16 row;
  int64_t t = 0;
  int64_t utc = 0;
};

// The writer's own now: the counter, the UTC second and the zone (minutes east of UTC).
struct WriterNow {
  int64_t t = 0;
  int64_t utc = 0;
  int zoneMinutes = 0;
};

class HistoryWriter {
 public:
  // `run` names the run in every line: "W-<start UTC>-<pid>" or "C-...".
  HistoryWriter(IHistoryFolder& folder, std::string run) : folder_(folder), run_(std::move(run)) {}
  ~HistoryWriter() { folder_.CloseDayFile(); }
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  void Add(HandedRow row);
  // Writes the waiting rows in order until one fails. Returns the rows for the run log: the one
  // that says the history stopped being written, or the one that says it is written again (both
  // also go into the history).
  std::vector<U16> Write(const WriterNow& now);
  bool Waiting() const { return !kept_.empty(); }

 private:
  struct Carried {
    int64_t t = 0;
    std::string line;
  };
  struct SiteCarry {
    std::string address;
    RowState state = RowState::NotKnown;
    bool renew = false;  // the next row of the site begins its state anew (after a bare "未知状态")
    Carried row;
  };

  bool WriteRow(const HandedRow& row, const WriterNow& now);
  bool OpenDay(const DayDate& date, const WriterNow& now);
  bool WriteCarried();
  void Track(const HistoryRow& row, Carried line);
  U16 OwnRow(U16View text, const WriterNow& now) const;

  IHistoryFolder& folder_;
  std::string run_;
  std::deque<HandedRow> kept_;
  std::optional<DayDate> day_;      // the day file open
  std::optional<DayDate> pruned_;   // the day the folder was last pruned for
  std::optional<DayDate> carried_;  // the day file this run has written its state into
  bool listed_ = false;
  std::optional<DayDate> newestAtStart_;
  bool failing_ = false;
  // What a new day file is told of this run.
  bool watching_ = false;
  Carried start_;
  std::optional<Carried> network_;
  std::optional<Carried> bare_;
  std::vector<SiteCarry> sites_;
};
