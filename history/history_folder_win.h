#pragma once
// The GetLog folder on Win32: day files opened for appending only, so that every line is one write
// at the file's end whoever else appends (the window and a console run on the same data folder
// interleave whole lines); and the day files streamed to the report in blocks.
#include <windows.h>

#include <string>
#include <utility>

#include "base/unique_handle_win.h"
#include "history/history_source.h"
#include "history/history_writer.h"

class Win32HistoryFolder final : public IHistoryFolder {
 public:
  // An empty path is a folder that holds nothing and takes nothing.
  explicit Win32HistoryFolder(const wchar_t* folder) : folder_(folder) {}

  bool OpenDayFile(U16View name, bool& endsInLineEnd) override;
  bool AppendLine(std::string_view bytes) override;
  void CloseDayFile() override { file_.reset(); }
  std::vector<FolderEntry> List() override { return std::as_const(*this).List(); }
  std::vector<FolderEntry> List() const;
  void Delete(U16View name) override;
  U16 Path() const override;

  // Hands the file's bytes to `piece` in blocks; false when it cannot be opened.
  bool Read(U16View name, const std::function<void(std::string_view)>& piece) const;

 private:
  std::wstring PathOf(U16View name) const;

  std::wstring folder_;
  UniqueKernelHandle file_;
};

// The day files of a folder as the report reads them.
class Win32DayFiles final : public IDayFiles {
 public:
  explicit Win32DayFiles(const wchar_t* folder) : folder_(folder) {}
  std::vector<DayDate> Days() const override;
  bool Read(const DayDate& day, const std::function<void(std::string_view)>& piece) const override;
  U16 Path() const { return folder_.Path(); }

 private:
  Win32HistoryFolder folder_;
};

// The real clock now: the UTC second and the local zone.
ReportClock ReportClockNow();
// Minutes east of UTC now.
int LocalZoneMinutes();
// The UTC second now.
int64_t UtcSecondsNow();
