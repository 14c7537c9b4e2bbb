#include "history/history_writer.h"

#include <algorithm>

#include "base/status_texts.h"
#include "history/history_scan.h"

namespace {

constexpr int kMostZoneMinutes = 16 * 60;

// The row in UTF-8, cut (at a character's start) so that its line stays within the limit.
std::string RowBytes(U16View row) {
  std::string bytes = Utf8FromU16(row);
  const size_t most = kHistoryLineLimit - 256;
  if (bytes.size() > most) {
    size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.resize(cut);
  }
  return bytes;
}

}  // namespace

std::vector<U16> DayFilesToPrune(const std::vector<FolderEntry>& entries, const DayDate& today, const DayDate& keep) {
  struct DayFile {
    int64_t day;
    const FolderEntry* entry;
  };
  const int64_t todayNumber = DayNumber(today);
  const int64_t keepNumber = DayNumber(keep);
  std::vector<DayFile> files;
  uint64_t kept = 0;
  for (const FolderEntry& entry : entries) {
    const std::optional<DayDate> date = DateOfDayFileName(entry.name);
    if (!date) continue;
    kept += entry.bytes;  // the protected files count, though they stay
    const int64_t day = DayNumber(*date);
    if (day != todayNumber && day != keepNumber) files.push_back({day, &entry});
  }
  std::sort(files.begin(), files.end(), [](const DayFile& a, const DayFile& b) { return a.day < b.day; });
  std::vector<U16> pruned;
  for (const DayFile& file : files) {
    if (file.day > todayNumber - kHistoryDays && kept <= kHistoryBytes) break;
    pruned.push_back(file.entry->name);
    kept -= file.entry->bytes;
  }
  return pruned;
}

DayDate PruningToday(const DayDate& clockToday, const std::optional<DayDate>& newestAtStart, int64_t runSeconds) {
  if (!newestAtStart) return clockToday;
  const int64_t bound = DayNumber(*newestAtStart) + std::max<int64_t>(0, runSeconds) / 86400;
  return DayNumber(clockToday) <= bound ? clockToday : DateOfDayNumber(bound);
}

void HistoryWriter::Add(HandedRow row) {
  if (kept_.size() >= kHistoryRowsKept) kept_.pop_front();
  kept_.push_back(std::move(row));
}

std::vector<U16> HistoryWriter::Write(const WriterNow& now) {
  std::vector<U16> shown;
  for (;;) {
    while (!kept_.empty() && WriteRow(kept_.front(), now)) kept_.pop_front();
    if (!kept_.empty()) {
      folder_.CloseDayFile();
      day_.reset();
      if (!failing_) {
        failing_ = true;
        U16 row = OwnRow(kTextHistoryFailed, now);
        shown.push_back(row);
        Add({std::move(row), now.t, now.utc});
      }
      return shown;
    }
    if (!failing_) return shown;
    failing_ = false;
    U16 row = OwnRow(kTextHistoryResumed, now);
    shown.push_back(row);
    Add({std::move(row), now.t, now.utc});
  }
}

U16 HistoryWriter::OwnRow(U16View text, const WriterNow& now) const {
  return FormatLogTime(LocalTimeOfSeconds(now.utc + int64_t{now.zoneMinutes} * 60)) + u" " + U16(text) +
         folder_.Path();
}

bool HistoryWriter::WriteRow(const HandedRow& handed, const WriterNow& now) {
  const std::string bytes = RowBytes(handed.row);
  const HistoryRow row = ReadHistoryRow(bytes);
  // The zone is what the row's own stamp says against the UTC second, to the quarter hour.
  int zone = now.zoneMinutes;
  if (row.stamp) {
    const int64_t minutes = (SecondsOf(*row.stamp) - handed.utc) / 60;
    const int64_t quarters = (minutes + (minutes >= 0 ? 7 : -7)) / 15;
    if (quarters * 15 >= -kMostZoneMinutes && quarters * 15 <= kMostZoneMinutes) zone = static_cast<int>(quarters * 15);
  }
  const DayDate date = row.stamp ? DayDate{row.stamp->year, row.stamp->month, row.stamp->day}
                                 : LocalDateOf(handed.utc, zone);
  if (!IsValidDate(date)) return true;  // a stamp no file can be named after: nothing to write it to
  if (!day_ || !(*day_ == date)) {
    if (!OpenDay(date, now)) return false;
  }
  if (!carried_ || !(*carried_ == date)) {
    if (!WriteCarried()) return false;
    carried_ = date;
  }
  Carried line{handed.t, bytes + FormatLineFacts(run_, handed.t, handed.utc, zone)};
  if (!folder_.AppendLine(line.line + "\r\n")) return false;
  Track(row, std::move(line));
  return true;
}

bool HistoryWriter::OpenDay(const DayDate& date, const WriterNow& now) {
  folder_.CloseDayFile();
  day_.reset();
  const DayDate clockToday = LocalDateOf(now.utc, now.zoneMinutes);
  if (!pruned_ || !(*pruned_ == clockToday)) {
    std::vector<FolderEntry> entries = folder_.List();
    if (!listed_) {
      listed_ = true;
      for (const FolderEntry& entry : entries) {
        const std::optional<DayDate> day = DateOfDayFileName(entry.name);
        if (day && (!newestAtStart_ || DayNumber(*day) > DayNumber(*newestAtStart_))) newestAtStart_ = day;
      }
    }
    const DayDate today = PruningToday(clockToday, newestAtStart_, now.t);
    for (const U16& name : DayFilesToPrune(entries, today, clockToday)) folder_.Delete(name);
    pruned_ = clockToday;
  }
  bool endsInLineEnd = true;
  if (!folder_.OpenDayFile(DayFileName(date), endsInLineEnd)) return false;
  // A torn last line (a write lost with the power) gets its end: the next row stays a row.
  if (!endsInLineEnd && !folder_.AppendLine("\r\n")) {
    folder_.CloseDayFile();
    return false;
  }
  day_ = date;
  return true;
}

bool HistoryWriter::WriteCarried() {
  if (!watching_) return true;
  std::vector<const Carried*> lines{&start_};
  if (network_) lines.push_back(&*network_);
  for (const SiteCarry& site : sites_) lines.push_back(&site.row);
  if (bare_) lines.push_back(&*bare_);
  std::stable_sort(lines.begin(), lines.end(), [](const Carried* a, const Carried* b) { return a->t < b->t; });
  std::string bytes;
  for (const Carried* line : lines) bytes += line->line + std::string(kCarrySuffix) + "\r\n";
  return folder_.AppendLine(bytes);
}

void HistoryWriter::Track(const HistoryRow& row, Carried line) {
  switch (row.kind) {
    case HistoryRow::RunStart:
      watching_ = true;
      start_ = std::move(line);
      network_.reset();
      bare_.reset();
      sites_.clear();
      break;
    case HistoryRow::RunStop:
    case HistoryRow::ProgramStart:
      watching_ = false;
      network_.reset();
      bare_.reset();
      sites_.clear();
      break;
    case HistoryRow::NetworkDown:
      if (watching_ && !network_) network_ = std::move(line);
      break;
    case HistoryRow::NetworkUp:
      network_.reset();
      break;
    case HistoryRow::Site: {
      if (!watching_) break;
      auto site = std::find_if(sites_.begin(), sites_.end(),
                               [&](const SiteCarry& s) { return s.address == row.address; });
      if (site == sites_.end()) {
        sites_.push_back({std::string(row.address), row.state, false, std::move(line)});
      } else if (site->state != row.state || site->renew) {
        site->state = row.state;
        site->renew = false;
        site->row = std::move(line);
      }
      break;
    }
    case HistoryRow::BareUnknown:
      if (!watching_) break;
      // As the report reads it: the run's one site, or every site that was up, is not known.
      for (SiteCarry& site : sites_) {
        if (sites_.size() == 1 || site.state == RowState::Up) {
          site.state = RowState::NotKnown;
          site.renew = true;
        }
      }
      bare_ = std::move(line);
      break;
    case HistoryRow::Other:
      break;
  }
}
