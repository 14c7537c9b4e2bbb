#include "history/history_writer.h"

#include <algorithm>
#include <string>

#include "history/history_row.h"

std::vector<U16> DayFilesToPrune(const std::vector<FolderEntry>& entries, const DayDate& today) {
  struct DayFile {
    int64_t day;
    const FolderEntry* entry;
  };
  const int64_t todayNumber = DayNumber(today);
  std::vector<DayFile> files;
  for (const FolderEntry& entry : entries) {
    const std::optional<DayDate> date = DateOfDayFileName(entry.name);
    if (date && DayNumber(*date) != todayNumber) files.push_back({DayNumber(*date), &entry});
  }
  std::sort(files.begin(), files.end(), [](const DayFile& a, const DayFile& b) { return a.day < b.day; });
  uint64_t kept = 0;
  for (const FolderEntry& entry : entries)
    if (DateOfDayFileName(entry.name)) kept += entry.bytes;  // today's counts, though it stays
  std::vector<U16> pruned;
  for (const DayFile& file : files) {
    if (file.day > todayNumber - kHistoryDays && kept <= kHistoryBytes) break;
    pruned.push_back(file.entry->name);
    kept -= file.entry->bytes;
  }
  return pruned;
}

U16 HistoryWriter::Append(U16View row) {
  const std::optional<LocalTime> stamp = RowStamp(row);
  if (stamp || !day_) {
    const LocalTime t = stamp ? *stamp : now_();
    const DayDate date{t.year, t.month, t.day};
    if (!day_ || !(*day_ == date)) OpenDay(date);
  }
  if (writable_) {
    std::string line = Utf8FromU16(row);
    line += "\r\n";
    if (folder_.AppendLine(line)) return U16();
    folder_.CloseDayFile();
    writable_ = false;
  }
  if (failureSaid_) return U16();
  failureSaid_ = true;
  return FormatLogTime(now_()) + u" " + kHistoryFailedText + folder_.Path();
}

void HistoryWriter::OpenDay(const DayDate& date) {
  folder_.CloseDayFile();
  day_ = date;
  for (const U16& name : DayFilesToPrune(folder_.List(), date)) folder_.Delete(name);
  writable_ = IsValidDate(date) && folder_.OpenDayFile(DayFileName(date));
}
