#pragma once
// The application module: the main thread's identity and the registry that maps each
// user-interface thread to its message loop. Every registry access holds the module's lock.
#include <cstdint>
#include <mutex>
#include <vector>

template <class Loop>
class CAppModuleT {
 public:
  using ThreadIdSource = uint32_t (*)();

  explicit CAppModuleT(ThreadIdSource currentThread) : currentThread_(currentThread) {}
  CAppModuleT(const CAppModuleT&) = delete;
  CAppModuleT& operator=(const CAppModuleT&) = delete;

  // Records the calling thread as the main thread and creates the empty registry.
  bool Initialize() {
    std::lock_guard<std::mutex> hold(lock_);
    mainThread_ = currentThread_();
    keys_.clear();
    loops_.clear();
    created_ = true;
    return true;
  }

  // Releases the registry; registering afterwards fails until the next Initialize.
  void Terminate() {
    std::lock_guard<std::mutex> hold(lock_);
    keys_.clear();
    keys_.shrink_to_fit();
    loops_.clear();
    loops_.shrink_to_fit();
    created_ = false;
  }

  // The calling thread's loop. False without a registry, for a null loop, or when the thread
  // already has one (its first loop stays).
  bool RegisterLoop(Loop* loop) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!created_ || loop == nullptr) return false;
    const uint32_t thread = currentThread_();
    if (IndexOf(thread) >= 0) return false;
    keys_.push_back(thread);
    loops_.push_back(loop);
    return true;
  }

  // False when the calling thread has no loop.
  bool UnregisterLoop() {
    std::lock_guard<std::mutex> hold(lock_);
    const long index = IndexOf(currentThread_());
    if (index < 0) return false;
    keys_.erase(keys_.begin() + index);
    loops_.erase(loops_.begin() + index);
    return true;
  }

  // Null when the calling thread has no loop.
  Loop* FindLoop() const {
    std::lock_guard<std::mutex> hold(lock_);
    const long index = IndexOf(currentThread_());
    return index < 0 ? nullptr : loops_[static_cast<size_t>(index)];
  }

  uint32_t MainThreadId() const {
    std::lock_guard<std::mutex> hold(lock_);
    return mainThread_;
  }
  size_t LoopCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return keys_.size();
  }

 private:
  long IndexOf(uint32_t thread) const {
    if (!created_) return -1;
    for (size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i] == thread) return static_cast<long>(i);
    return -1;
  }

  ThreadIdSource currentThread_;
  mutable std::mutex lock_;
  uint32_t mainThread_ = 0;
  bool created_ = false;
  std::vector<uint32_t> keys_;  // thread ids and their loops, kept side by side
  std::vector<Loop*> loops_;
};
