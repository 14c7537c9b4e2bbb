#pragma once
// Files of a test, on both platforms: a fresh temporary folder removed with everything in it at
// the end, and raw reads and writes that bypass the code under test.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/utf16.h"

namespace sitemon_test {

namespace fs = std::filesystem;

class TempFolder {
 public:
  // A new folder "<namePrefix>-<unique>" under the system's temporary folder; !ok() when none
  // could be made.
  explicit TempFolder(std::string_view namePrefix = "sitemon-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  const fs::path& path() const { return path_; }
  fs::path File(const fs::path& name) const { return path_ / name; }
  // The same path as the text the store takes.
  U16 File16(const fs::path& name) const;

 private:
  fs::path path_;
};

// Removes a folder and everything in it, read-only files too; nothing when it does not exist.
void RemoveTree(const fs::path& folder);
// A path as UTF-16 text.
U16 PathText16(const fs::path& path);

// The whole file as bytes; "<missing>" when it cannot be opened.
std::string ReadBytes(const fs::path& file);
// Replaces the file's content with the bytes; false when it could not be written.
bool WriteBytes(const fs::path& file, std::string_view bytes);
// Clears every write permission (on Windows: sets the read-only attribute).
void MakeReadOnly(const fs::path& file);
// The four bytes of a 32-bit field of Config.dat (little-endian).
std::string Le32(int32_t value);

}  // namespace sitemon_test
