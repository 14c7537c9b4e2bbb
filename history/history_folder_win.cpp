#include "history/history_folder_win.h"

#include "base/wide_text_win.h"
#include "history/day_file.h"

namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle None() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

UniqueKernelHandle Owned(HANDLE file) { return UniqueKernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file); }

UniqueKernelHandle OpenForAppend(const std::wstring& path) {
  return Owned(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Whether the file's last byte ends a line (an empty file is made a new one: its mark written).
bool EndsInLineEnd(HANDLE file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) return true;
  if (size.QuadPart == 0) {
    WriteAll(file, kDayFileMark);
    return true;
  }
  LARGE_INTEGER last{};
  last.QuadPart = -1;
  char byte = '\n';
  DWORD got = 0;
  if (!::SetFilePointerEx(file, last, nullptr, FILE_END) || !::ReadFile(file, &byte, 1, &got, nullptr) || got != 1)
    return true;
  return byte == '\n' || size.QuadPart == 3;  // only the mark: no line begun
}

int64_t UtcSecondsOf(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000ull) - 11644473600ll;
}

}  // namespace

std::wstring Win32HistoryFolder::PathOf(U16View name) const {
  std::wstring path = folder_;
  path += L'\\';
  path.append(AsWide(name.data()), name.size());
  return path;
}

U16 Win32HistoryFolder::Path() const { return U16(AsU16(folder_.c_str()), folder_.size()); }

bool Win32HistoryFolder::OpenDayFile(U16View name, bool& endsInLineEnd) {
  file_.reset();
  endsInLineEnd = true;
  if (folder_.empty()) return false;
  ::CreateDirectoryW(folder_.c_str(), nullptr);  // gone since start-up: made again
  const std::wstring path = PathOf(name);
  UniqueKernelHandle file = OpenForAppend(path);
  if (!file) {
    // Born with its mark: written under a name of its own, then given the day's name unless
    // another program's file got there first.
    const std::wstring fresh = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
    {
      UniqueKernelHandle created =
          Owned(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!created) return false;
      const bool marked = WriteAll(created.get(), kDayFileMark);
      created.reset();
      if (!marked || !::MoveFileExW(fresh.c_str(), path.c_str(), 0)) ::DeleteFileW(fresh.c_str());
    }
    file = OpenForAppend(path);
    if (!file) return false;
  }
  endsInLineEnd = EndsInLineEnd(file.get());
  file_ = std::move(file);
  return true;
}

bool Win32HistoryFolder::AppendLine(std::string_view bytes) {
  // Written through to the system at once: a program killed after this loses nothing.
  return file_ && WriteAll(file_.get(), bytes);
}

std::vector<FolderEntry> Win32HistoryFolder::List() const {
  std::vector<FolderEntry> entries;
  if (folder_.empty()) return entries;  // never the drive's root
  WIN32_FIND_DATAW found{};
  UniqueHandle<FindHandleTraits> search(::FindFirstFileW(PathOf(u"*").c_str(), &found));
  if (!search) return entries;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    entries.push_back({U16(AsU16(found.cFileName)),
                       (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
  } while (::FindNextFileW(search.get(), &found));
  return entries;
}

void Win32HistoryFolder::Delete(U16View name) {
  if (!folder_.empty()) ::DeleteFileW(PathOf(name).c_str());
}

bool Win32HistoryFolder::Read(U16View name, const std::function<void(std::string_view)>& piece) const {
  if (folder_.empty()) return false;
  UniqueKernelHandle file = Owned(::CreateFileW(PathOf(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  static thread_local char buffer[256 * 1024];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) piece(std::string_view(buffer, got));
  return true;
}

std::vector<DayDate> Win32DayFiles::Days() const {
  std::vector<DayDate> days;
  for (const FolderEntry& entry : folder_.List()) {
    if (const std::optional<DayDate> date = DateOfDayFileName(entry.name)) days.push_back(*date);
  }
  return days;
}

bool Win32DayFiles::Read(const DayDate& day, const std::function<void(std::string_view)>& piece) const {
  return folder_.Read(DayFileName(day), piece);
}

int64_t UtcSecondsNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return UtcSecondsOf(now);
}

int LocalZoneMinutes() {
  SYSTEMTIME utc{}, local{};
  ::GetSystemTime(&utc);
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0;
  FILETIME u{}, l{};
  ::SystemTimeToFileTime(&utc, &u);
  ::SystemTimeToFileTime(&local, &l);
  const int64_t minutes = (UtcSecondsOf(l) - UtcSecondsOf(u)) / 60;
  return static_cast<int>(minutes);
}

ReportClock ReportClockNow() { return {UtcSecondsNow(), LocalZoneMinutes()}; }
