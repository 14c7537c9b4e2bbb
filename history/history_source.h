#pragma once
// Where the report reads the history from: the day files of a folder, each streamed in pieces
// (never held whole), and the real clock's now as the report takes it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "history/day_file.h"

// Now, as the report reads it: the UTC second and the local zone (minutes east of UTC).
struct ReportClock {
  int64_t utcSeconds = 0;
  int zoneMinutes = 0;
};

class IDayFiles {
 public:
  virtual ~IDayFiles() = default;
  // The dates of the day files present, in any order.
  virtual std::vector<DayDate> Days() const = 0;
  // Hands the named day's bytes to `piece` in order, in pieces of any size; false when the file
  // cannot be read (what was handed stays handed).
  virtual bool Read(const DayDate& day, const std::function<void(std::string_view)>& piece) const = 0;
};

// Day files held in memory (tests, the fuzz target).
struct DayFileText {
  DayDate date;
  std::string bytes;
};

class MemoryDayFiles final : public IDayFiles {
 public:
  explicit MemoryDayFiles(std::vector<DayFileText> files) : files_(std::move(files)) {}
  std::vector<DayDate> Days() const override;
  bool Read(const DayDate& day, const std::function<void(std::string_view)>& piece) const override;

 private:
  std::vector<DayFileText> files_;
};
