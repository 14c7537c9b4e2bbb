#pragma once
// A growable byte buffer for the notice service's reply body. The bytes after the content are
// always zero, so the content can be read as zero-terminated text.
#include <cstdint>

class ReplyBuffer {
 public:
  static constexpr int32_t kInitialCapacity = 2048;

  ReplyBuffer();  // 2048 zero bytes; capacity 0 when that storage could not be obtained
  ~ReplyBuffer();
  ReplyBuffer(const ReplyBuffer&) = delete;
  ReplyBuffer& operator=(const ReplyBuffer&) = delete;

  // Copies count bytes behind the content, growing first when they would not fit with at least
  // one zero byte after them. Returns 1, or 0 when storage could not be obtained (the buffer is
  // then left as it was).
  int Append(const void* bytes, int32_t count);
  // New capacity: old capacity plus twice the larger of count and 64; zero-filled, content kept.
  // Returns 1, or 0 (buffer unchanged) when the storage could not be obtained.
  int Grow(int32_t count);
  // The content as zero-terminated text ("" after Release).
  const char* Text() const;
  // Frees the storage; capacity and length become 0.
  void Release();

  const char* storage() const { return storage_; }
  int32_t capacity() const { return capacity_; }
  int32_t length() const { return length_; }

 private:
  char* storage_ = nullptr;
  int32_t capacity_ = 0;
  int32_t length_ = 0;
};
