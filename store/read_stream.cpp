#include "store/read_stream.h"

#include <algorithm>

std::optional<FileBytes> ReadWholeStream(std::FILE* file, size_t maxBytes) {
  FileBytes bytes;
  uint8_t chunk[4096];
  while (bytes.size() < maxBytes) {
    const size_t want = std::min(sizeof chunk, maxBytes - bytes.size());
    const size_t got = std::fread(chunk, 1, want, file);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < want) break;
  }
  if (std::ferror(file)) return std::nullopt;
  return bytes;
}
