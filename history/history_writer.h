#pragma once
// Appends every row the run log shows to the day file of the row's local date, and keeps the
// GetLog folder within its retention. A history that cannot be written costs the monitoring
// nothing: the writer says so once and tries again at the next day file.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/log_time.h"
#include "base/utf16.h"
#include "history/day_file.h"

// Retention: the last 90 days (today among them), at most 256 MiB of day files in all.
constexpr int kHistoryDays = 90;
constexpr uint64_t kHistoryBytes = 256ull << 20;

struct FolderEntry {
  U16 name;
  uint64_t bytes = 0;
};

// The day files to delete, oldest first: those older than the last kHistoryDays days, then the
// oldest others until the rest fit in kHistoryBytes. Today's file and files not named as day
// files are never chosen (nor counted).
std::vector<U16> DayFilesToPrune(const std::vector<FolderEntry>& entries, const DayDate& today);

// The GetLog folder as the writer uses it.
class IHistoryFolder {
 public:
  virtual ~IHistoryFolder() = default;
  // Opens the named file for appending, creating it with a UTF-8 byte-order mark when new.
  virtual bool OpenDayFile(U16View name) = 0;
  // Appends one whole line with a single write to the open file.
  virtual bool AppendLine(std::string_view bytes) = 0;
  virtual void CloseDayFile() = 0;
  virtual std::vector<FolderEntry> List() = 0;
  virtual void Delete(U16View name) = 0;
  // The folder as the failure row names it.
  virtual U16 Path() const = 0;
};

// The row said once when the history cannot be written.
constexpr char16_t kHistoryFailedText[] = u"历史记录无法写入：";

class HistoryWriter {
 public:
  using Clock = LocalTime (*)();
  HistoryWriter(IHistoryFolder& folder, Clock now) : folder_(folder), now_(now) {}
  ~HistoryWriter() { folder_.CloseDayFile(); }
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // Appends the row to its day file (a row without a time stamp goes where the one before it
  // went). Returns the row to show the first time in this writer's life that the history cannot
  // be written, and an empty text otherwise.
  U16 Append(U16View row);

 private:
  void OpenDay(const DayDate& date);

  IHistoryFolder& folder_;
  Clock now_;
  std::optional<DayDate> day_;  // the day file in use, or the one that could not be written
  bool writable_ = false;
  bool failureSaid_ = false;
};
