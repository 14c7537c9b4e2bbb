#pragma once
// The file operations the stored state needs, as a seam: the Win32 realisation serves the
// program, a POSIX one lets the formats be tested natively on a temporary folder.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/utf16.h"

using FileBytes = std::vector<uint8_t>;

class IStoreFiles {
 public:
  virtual ~IStoreFiles() = default;

  // At most maxBytes leading bytes of a file that can be opened for update. A missing,
  // read-only or unreadable file is absent (nullopt); an empty file is present and empty.
  virtual std::optional<FileBytes> ReadForUpdate(const U16& path, size_t maxBytes) = 0;

  // Whether the file at path may be overwritten: true when it is missing or a writable file,
  // false when it exists but could not be opened for writing (read-only, a folder, locked).
  virtual bool MayOverwrite(const U16& path) = 0;

  // Creates or truncates path, writes all bytes and flushes them to the disk before closing.
  virtual bool WriteFlushed(const U16& path, const FileBytes& bytes) = 0;

  // Puts the file from in place of the file to in one step, replacing it.
  virtual bool ReplaceWith(const U16& from, const U16& to) = 0;

  // Deletes the file when it exists; a missing file is no failure.
  virtual void Remove(const U16& path) = 0;
};

// The fixed temporary name beside a target ("<name>.tmp"), so a leftover from an interrupted save
// is overwritten by the next save and never read on load.
U16 TempPathFor(const U16& target);

// Writes bytes to path so that a crash at any moment leaves either the old or the new content
// whole: the bytes go to the temporary file first, which then replaces the target. Returns false,
// leaving the target untouched, when the target cannot be opened for writing or any step fails.
bool SaveFileSafely(IStoreFiles& files, const U16& path, const FileBytes& bytes);
