#include "history/history_folder_win.h"

#include "base/wide_text_win.h"

#include <algorithm>

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

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

HANDLE OpenForAppend(const std::wstring& path, DWORD disposition) {
  return ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::wstring Win32HistoryFolder::PathOf(U16View name) const {
  std::wstring path = folder_;
  path += L'\\';
  path.append(AsWide(name.data()), name.size());
  return path;
}

U16 Win32HistoryFolder::Path() const { return U16(AsU16(folder_.c_str()), folder_.size()); }

bool Win32HistoryFolder::OpenDayFile(U16View name) {
  file_.reset();
  if (folder_.empty()) return false;
  ::CreateDirectoryW(folder_.c_str(), nullptr);  // gone since start-up: made again
  const std::wstring path = PathOf(name);
  // The one program that creates the file writes its mark; the others find it there.
  HANDLE created = OpenForAppend(path, CREATE_NEW);
  if (created != INVALID_HANDLE_VALUE) {
    file_.reset(created);
    if (!WriteAll(created, kByteOrderMark)) file_.reset();
    return static_cast<bool>(file_);
  }
  HANDLE existing = OpenForAppend(path, OPEN_EXISTING);
  if (existing == INVALID_HANDLE_VALUE) return false;
  file_.reset(existing);
  return true;
}

bool Win32HistoryFolder::AppendLine(std::string_view bytes) {
  // Written through to the system at once: a program killed after this loses nothing.
  return file_ && WriteAll(file_.get(), bytes);
}

std::vector<FolderEntry> Win32HistoryFolder::List() const {
  std::vector<FolderEntry> entries;
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

void Win32HistoryFolder::Delete(U16View name) { ::DeleteFileW(PathOf(name).c_str()); }

bool Win32HistoryFolder::Read(U16View name, std::string& bytes) const {
  bytes.clear();
  UniqueKernelHandle file(::CreateFileW(PathOf(name).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return false;
  char buffer[64 * 1024];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return true;
}

std::vector<DayFileText> ReadHistoryDays(const Win32HistoryFolder& folder, const DayDate& firstDay,
                                         const DayDate& today) {
  struct Named {
    DayDate date;
    U16 name;
  };
  std::vector<Named> files;
  for (FolderEntry& entry : folder.List()) {
    const std::optional<DayDate> date = DateOfDayFileName(entry.name);
    if (date && DayNumber(*date) <= DayNumber(today)) files.push_back({*date, std::move(entry.name)});
  }
  std::sort(files.begin(), files.end(),
            [](const Named& a, const Named& b) { return DayNumber(a.date) > DayNumber(b.date); });
  std::vector<DayFileText> days;  // newest first until turned round
  for (const Named& file : files) {
    DayFileText day{file.date, {}};
    if (!folder.Read(file.name, day.bytes)) continue;
    const bool before = DayNumber(file.date) < DayNumber(firstDay);
    const bool boundary = before && HoldsRunBoundary(day.bytes);
    days.push_back(std::move(day));
    if (boundary) break;
  }
  std::reverse(days.begin(), days.end());
  return days;
}

LocalTime LocalTimeNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}
