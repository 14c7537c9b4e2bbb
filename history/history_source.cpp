#include "history/history_source.h"

std::vector<DayDate> MemoryDayFiles::Days() const {
  std::vector<DayDate> days;
  for (const DayFileText& file : files_) days.push_back(file.date);
  return days;
}

bool MemoryDayFiles::Read(const DayDate& day, const std::function<void(std::string_view)>& piece) const {
  for (const DayFileText& file : files_) {
    if (!(file.date == day)) continue;
    // In two pieces, as a file read in blocks arrives: a line may straddle them.
    const size_t half = file.bytes.size() / 2;
    piece(std::string_view(file.bytes).substr(0, half));
    piece(std::string_view(file.bytes).substr(half));
    return true;
  }
  return false;
}
