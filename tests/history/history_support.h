#pragma once
// A GetLog folder in memory, and one run of a program writing into it on a clock the test moves.
#include <map>
#include <string>
#include <vector>

#include "base/log_time.h"
#include "history/history_row.h"
#include "history/history_scan.h"
#include "history/history_source.h"
#include "history/history_writer.h"

// The files of a folder, shared by every program's handle on it.
struct MemoryDisk {
  MemoryDayFiles Days() const {
    std::vector<DayFileText> days;
    for (const auto& [name, bytes] : files)
      if (const auto date = DateOfDayFileName(name)) days.push_back({*date, bytes});
    return MemoryDayFiles(std::move(days));
  }

  std::map<U16, std::string> files;
  bool writable = true;
};

// One program's handle on the folder.
class MemoryFolder final : public IHistoryFolder {
 public:
  explicit MemoryFolder(MemoryDisk& disk) : disk_(disk) {}
  bool OpenDayFile(U16View name, bool& endsInLineEnd) override {
    if (!disk_.writable) return false;
    open = U16(name);
    std::string& bytes = disk_.files[open];
    if (bytes.empty()) bytes = "\xEF\xBB\xBF";
    endsInLineEnd = bytes.back() == '\n' || bytes == "\xEF\xBB\xBF";
    return true;
  }
  bool AppendLine(std::string_view bytes) override {
    if (!disk_.writable || open.empty()) return false;
    disk_.files[open] += bytes;
    return true;
  }
  void CloseDayFile() override { open.clear(); }
  std::vector<FolderEntry> List() override {
    std::vector<FolderEntry> entries;
    for (const auto& [name, bytes] : disk_.files) entries.push_back({name, bytes.size()});
    return entries;
  }
  void Delete(U16View name) override { disk_.files.erase(U16(name)); }
  U16 Path() const override { return u"C:\\data\\GetLog"; }

 private:
  MemoryDisk& disk_;
  U16 open;
};

constexpr int kZone = 480;  // UTC+8

// UTC of a local time in UTC+8.
inline int64_t Utc(const LocalTime& t) { return SecondsOf(t) - kZone * 60; }

// One run of one program: its writer, its seconds counter and its clock (which may be wrong).
class ProgramRun {
 public:
  ProgramRun(MemoryDisk& disk, std::string run, const LocalTime& start) : folder_(disk), writer_(folder_, std::move(run)) {
    utc_ = Utc(start);
  }
  // Real time passes: the counter and the clock move together.
  void Wait(int64_t seconds) {
    t_ += seconds;
    utc_ += seconds;
  }
  void SetClockBy(int64_t seconds) { utc_ += seconds; }
  void SetZone(int minutes) { zone_ = minutes; }
  // A row stamped by the clock (none for the bare "未知状态"); returns the rows the run log is told.
  std::vector<U16> Row(const std::string& text, bool stamped = true) {
    const U16 stamp = FormatLogTime(LocalTimeOfSeconds(utc_ + zone_ * 60)) + u" ";
    writer_.Add({(stamped ? stamp : U16()) + U16FromUtf8(text), t_, utc_});
    return writer_.Write({t_, utc_, zone_});
  }
  std::vector<U16> Flush() { return writer_.Write({t_, utc_, zone_}); }
  HistoryWriter& Writer() { return writer_; }

 private:
  MemoryFolder folder_;
  HistoryWriter writer_;
  int64_t t_ = 0;
  int64_t utc_ = 0;
  int zone_ = kZone;
};

inline ReportClock ClockAt(const LocalTime& t) { return {Utc(t), kZone}; }
