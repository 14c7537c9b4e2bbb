#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the end
// of the test, plus raw file helpers that bypass the code under test.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/utf16.h"

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sitemon-store-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  U16 File16(const std::string& name) const { return U16FromUtf8(File(name)); }

 private:
  std::string path_;
};

inline std::vector<uint8_t> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteRaw(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> BytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Clears every write bit, as the read-only attribute does on Windows.
inline void MakeReadOnly(const std::string& path) { ::chmod(path.c_str(), 0444); }

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }
