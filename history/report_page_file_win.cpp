#include "history/report_page_file_win.h"

#include <algorithm>

#include "base/unique_handle_win.h"
#include "history/history_folder_win.h"
#include "history/report_model.h"
#include "history/report_page.h"

namespace {

bool WriteWhole(const std::wstring& path, const std::string& bytes, DWORD& error) {
  UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      error = ::GetLastError();
      return false;
    }
    done += written;
  }
  if (!::FlushFileBuffers(file.get())) {
    error = ::GetLastError();
    return false;
  }
  return true;
}

}  // namespace

ReportPageFileResult WriteReportPageFile(const wchar_t* historyFolder, const std::wstring& target) {
  ReportPageFileResult result;
  const Win32DayFiles files(historyFolder);
  const ReportPageModel model = BuildReportPageModel(files, ReportClockNow());
  result.sites = model.sites.size();
  const std::wstring temporary = target + L".tmp";
  if (!WriteWhole(temporary, RenderReportPage(model), result.error)) {
    ::DeleteFileW(temporary.c_str());
    return result;
  }
  if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result.error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    return result;
  }
  result.written = true;
  return result;
}
