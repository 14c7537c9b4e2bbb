#pragma once
// Helpers shared by the fuzz targets: a failed invariant aborts with its reason (libFuzzer then
// keeps the input), a little-endian reader that yields zeros past the end of the input, and the
// stored-file seam held in memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "base/utf16.h"
#include "store/store_files.h"

#define FUZZ_REQUIRE(condition)                                                          \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// Reads the input front to back; a read past the end gives zero bytes.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  size_t Remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : (pos_++, 0); }
  uint64_t Unsigned(int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(Byte()) << (8 * i);
    return v;
  }
  int32_t Int32() { return static_cast<int32_t>(static_cast<uint32_t>(Unsigned(4))); }
  char16_t Unit() { return static_cast<char16_t>(Unsigned(2)); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Every UTF-16LE code unit of the bytes, lone surrogates and NULs included; an odd last byte is
// dropped.
inline U16 Utf16LeUnits(const uint8_t* data, size_t size) {
  U16 text;
  text.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
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
