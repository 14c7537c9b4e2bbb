#pragma once
// The GetLog folder on Win32: day files opened for appending only, so that every row is one
// write at the file's end whoever else appends (the window and a console run on the same data
// folder interleave whole rows), and the whole history read back for the report.
#include <windows.h>

#include <string>
#include <utility>

#include "base/unique_handle_win.h"
#include "history/history_report.h"
#include "history/history_writer.h"

class Win32HistoryFolder final : public IHistoryFolder {
 public:
  explicit Win32HistoryFolder(const wchar_t* folder) : folder_(folder) {}

  bool OpenDayFile(U16View name) override;
  bool AppendLine(std::string_view bytes) override;
  void CloseDayFile() override { file_.reset(); }
  std::vector<FolderEntry> List() override { return std::as_const(*this).List(); }
  std::vector<FolderEntry> List() const;
  void Delete(U16View name) override;
  U16 Path() const override;

  // A whole file of the folder; false when it cannot be read.
  bool Read(U16View name, std::string& bytes) const;

 private:
  std::wstring PathOf(U16View name) const;

  std::wstring folder_;
  UniqueKernelHandle file_;
};

// The day files from firstDay to today in date order, after the earlier ones back to the last
// that holds a run's start or end (the state the period starts in). Unreadable files are left out.
std::vector<DayFileText> ReadHistoryDays(const Win32HistoryFolder& folder, const DayDate& firstDay,
                                         const DayDate& today);

// The local time now, as a row is stamped.
LocalTime LocalTimeNow();

// The history of one program: the writer on the folder it names.
class RunHistory {
 public:
  explicit RunHistory(const wchar_t* folder) : folder_(folder), writer_(folder_, LocalTimeNow) {}
  // See HistoryWriter::Append.
  U16 Append(U16View row) { return writer_.Append(row); }

 private:
  Win32HistoryFolder folder_;
  HistoryWriter writer_;
};
