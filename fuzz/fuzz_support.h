#pragma once
// Helpers shared by the fuzz targets (which read their input through libFuzzer's
// FuzzedDataProvider): a failed invariant aborts with its reason (libFuzzer then keeps the input),
// bytes taken as UTF-16LE code units, and the stored-file seam held in memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

#include "base/utf16.h"
#include "store/store_files.h"

#define FUZZ_REQUIRE(condition)                                                          \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// Every UTF-16LE code unit of the bytes, lone surrogates and NULs included; an odd last byte is
// dropped.
inline U16 Utf16LeUnits(const std::vector<uint8_t>& bytes) {
  U16 text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  return text;
}

// The file seam over a map of path to content; every file is writable.
class MemoryStoreFiles : public IStoreFiles {
 public:
  std::optional<FileBytes> ReadForUpdate(const U16& path, size_t maxBytes) override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    const size_t n = it->second.size() < maxBytes ? it->second.size() : maxBytes;
    // An exact-size copy, so that a read past what the file gave is caught by the sanitizer.
    return FileBytes(it->second.begin(), it->second.begin() + static_cast<std::ptrdiff_t>(n));
  }
  bool MayOverwrite(const U16&) override { return true; }
  bool WriteFlushed(const U16& path, const FileBytes& bytes) override {
    files[path] = bytes;
    return true;
  }
  bool ReplaceWith(const U16& from, const U16& to) override {
    const auto it = files.find(from);
    if (it == files.end()) return false;
    files[to] = std::move(it->second);
    files.erase(from);
    return true;
  }
  void Remove(const U16& path) override { files.erase(path); }

  std::map<U16, FileBytes> files;
};
