#include "notice/reply_buffer.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

// Zero-filled storage, or null when none could be had.
char* ZeroedStorage(int64_t bytes) {
  if (bytes <= 0 || bytes > std::numeric_limits<int32_t>::max()) return nullptr;
  return new (std::nothrow) char[static_cast<size_t>(bytes)]();
}

}  // namespace

ReplyBuffer::ReplyBuffer() {
  storage_ = ZeroedStorage(kInitialCapacity);
  if (storage_) capacity_ = kInitialCapacity;
}

ReplyBuffer::~ReplyBuffer() { Release(); }

int ReplyBuffer::Grow(int32_t count) {
  const int64_t step = count > 64 ? count : 64;
  const int64_t newCapacity = static_cast<int64_t>(capacity_) + 2 * step;
  char* bigger = ZeroedStorage(newCapacity);
  if (!bigger) return 0;
  if (length_ > 0) std::memcpy(bigger, storage_, static_cast<size_t>(length_));
  delete[] storage_;
  storage_ = bigger;
  capacity_ = static_cast<int32_t>(newCapacity);
  return 1;
}

int ReplyBuffer::Append(const void* bytes, int32_t count) {
  if (count < 0 || (count > 0 && !bytes)) return 0;
  // Room for the bytes and the zero byte that must stay behind them.
  if (static_cast<int64_t>(length_) + count + 1 > capacity_ && !Grow(count)) return 0;
  if (count > 0) std::memcpy(storage_ + length_, bytes, static_cast<size_t>(count));
  length_ += count;
  return 1;
}

const char* ReplyBuffer::Text() const { return storage_ ? storage_ : ""; }

void ReplyBuffer::Release() {
  delete[] storage_;
  storage_ = nullptr;
  capacity_ = 0;
  length_ = 0;
}
