#include "store/win32_files_win.h"
#include "store/read_stream.h"

#include <io.h>

#include <algorithm>
#include <cstdio>

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"

namespace {

struct FileStreamTraits {
  using Handle = FILE*;
  static Handle None() { return nullptr; }
  static void Close(Handle f) { std::fclose(f); }
};
using UniqueFileStream = UniqueHandle<FileStreamTraits>;

UniqueFileStream Open(const U16& path, const wchar_t* mode) {
  return UniqueFileStream(::_wfopen(AsWide(path.c_str()), mode));
}

// The read-only attribute, checked as well as the open itself: a process with administrator or
// root rights (Wine run as root) may otherwise open such a file for update.
bool IsReadOnlyOrFolder(DWORD attributes) {
  return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

}  // namespace

std::optional<FileBytes> Win32StoreFiles::ReadForUpdate(const U16& path, size_t maxBytes) {
  // A file that cannot be opened for update (missing, read-only) counts as absent.
  const DWORD attributes = ::GetFileAttributesW(AsWide(path.c_str()));
  if (attributes == INVALID_FILE_ATTRIBUTES || IsReadOnlyOrFolder(attributes)) return std::nullopt;
  UniqueFileStream file = Open(path, L"r+b");
  if (!file) return std::nullopt;
  return ReadWholeStream(file.get(), maxBytes);
}

bool Win32StoreFiles::MayOverwrite(const U16& path) {
  const DWORD attributes = ::GetFileAttributesW(AsWide(path.c_str()));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if (IsReadOnlyOrFolder(attributes)) return false;
  // Opening without truncating also finds a file another program holds locked.
  return static_cast<bool>(Open(path, L"r+b"));
}

bool Win32StoreFiles::WriteFlushed(const U16& path, const FileBytes& bytes) {
  UniqueFileStream file = Open(path, L"wb");
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return false;
  }
  if (std::fflush(file.get()) != 0 || ::_commit(::_fileno(file.get())) != 0) return false;
  return std::fclose(file.release()) == 0;
}

bool Win32StoreFiles::ReplaceWith(const U16& from, const U16& to) {
  return ::MoveFileExW(AsWide(from.c_str()), AsWide(to.c_str()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void Win32StoreFiles::Remove(const U16& path) { ::DeleteFileW(AsWide(path.c_str())); }
