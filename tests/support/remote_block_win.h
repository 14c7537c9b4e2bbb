#pragma once
// A block of memory inside another process, for the common-control messages whose pointers the
// system does not carry across processes (list view and tooltip queries). Freed on destruction.
#include <windows.h>

#include <cstddef>
#include <utility>

namespace sitemon_test {

class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size)
      : process_(process),
        address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)),
        size_(address_ ? size : 0) {}
  ~RemoteBlock() {
    if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  RemoteBlock(RemoteBlock&& other) noexcept
      : process_(other.process_), address_(std::exchange(other.address_, nullptr)),
        size_(std::exchange(other.size_, 0)) {}
  RemoteBlock& operator=(RemoteBlock&&) = delete;

  explicit operator bool() const { return address_ != nullptr; }
  // The address of byte `offset` of the block, as the other process sees it.
  void* At(size_t offset) const { return static_cast<char*>(address_) + offset; }

  bool Write(size_t offset, const void* data, size_t bytes) const {
    SIZE_T done = 0;
    return offset + bytes <= size_ &&
           ::WriteProcessMemory(process_, At(offset), data, bytes, &done) && done == bytes;
  }
  bool Read(size_t offset, void* data, size_t bytes) const {
    SIZE_T done = 0;
    return offset + bytes <= size_ &&
           ::ReadProcessMemory(process_, At(offset), data, bytes, &done) && done == bytes;
  }

 private:
  HANDLE process_;
  void* address_;
  size_t size_;
};

}  // namespace sitemon_test
