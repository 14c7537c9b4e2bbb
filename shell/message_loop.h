#pragma once
// The thread's message loop and its two hooks, as plain logic over any message queue: the
// Windows loop runs it over the thread's real queue, the tests over a simulated one. Msg needs
// the fields `message` and `wParam` (as MSG has).
#include <cstddef>
#include <cstdint>
#include <vector>

// Something run when the queue has run empty. The loop ignores the result.
class CIdleHandler {
 public:
  virtual bool HandleIdle() = 0;

 protected:
  ~CIdleHandler() = default;
};

// Sees every message before it is translated and dispatched; true consumes it.
template <class Msg>
class CMessageFilterT {
 public:
  virtual bool FilterMessage(Msg* msg) = 0;

 protected:
  ~CMessageFilterT() = default;
};

// The thread's queue as the loop uses it.
template <class Msg>
class MessageQueueT {
 public:
  virtual ~MessageQueueT() = default;
  // A message is waiting (it stays in the queue).
  virtual bool HasMessage() = 0;
  // Takes the next message, waiting for one: > 0 a message, 0 the quit message, -1 an error.
  virtual int GetMessage(Msg& msg) = 0;
  virtual void TranslateAndDispatch(const Msg& msg) = 0;
};

// After these the idle handlers are not run again: mouse moves, non-client mouse moves, paints
// and the caret-blink timer come too often to count as activity.
constexpr bool RearmsIdle(uint32_t message) {
  return message != 0x200 && message != 0xA0 && message != 0x0F && message != 0x118;
}

template <class Msg>
class CMessageLoopT {
 public:
  explicit CMessageLoopT(MessageQueueT<Msg>& queue) : queue_(queue) {}
  virtual ~CMessageLoopT() = default;
  CMessageLoopT(const CMessageLoopT&) = delete;
  CMessageLoopT& operator=(const CMessageLoopT&) = delete;

  void AddFilter(CMessageFilterT<Msg>* filter) { filters_.push_back(filter); }
  bool RemoveFilter(CMessageFilterT<Msg>* filter) { return RemoveFirst(filters_, filter); }
  void AddIdle(CIdleHandler* handler) { idleHandlers_.push_back(handler); }
  bool RemoveIdle(CIdleHandler* handler) { return RemoveFirst(idleHandlers_, handler); }

  // Newest filter first; the first that consumes the message ends the walk.
  virtual bool FilterMessage(Msg* msg) {
    for (size_t i = filters_.size(); i-- > 0;) {
      if (i >= filters_.size()) continue;  // a filter removed others while we walked
      CMessageFilterT<Msg>* filter = filters_[i];
      if (filter != nullptr && filter->FilterMessage(msg)) return true;
    }
    return false;
  }

  // Every idle handler once, in registration order; false ends the idle phase.
  virtual bool DoIdle(int /*count*/) {
    for (size_t i = 0; i < idleHandlers_.size(); ++i) {
      if (idleHandlers_[i] != nullptr) idleHandlers_[i]->HandleIdle();
    }
    return false;
  }

  // Runs until the quit message and returns its code.
  int Run() {
    bool idle = true;
    int idleCount = 0;
    for (;;) {
      while (idle && !queue_.HasMessage()) {
        if (!DoIdle(idleCount++)) idle = false;
      }
      const int got = queue_.GetMessage(current_);
      if (got == -1) continue;  // a failed take changes nothing
      if (got == 0) return static_cast<int>(current_.wParam);
      if (!FilterMessage(&current_)) queue_.TranslateAndDispatch(current_);
      if (RearmsIdle(static_cast<uint32_t>(current_.message))) {
        idle = true;
        idleCount = 0;
      }
    }
  }

  const Msg& CurrentMessage() const { return current_; }
  size_t FilterCount() const { return filters_.size(); }
  size_t IdleCount() const { return idleHandlers_.size(); }

 private:
  template <class T>
  static bool RemoveFirst(std::vector<T*>& list, T* entry) {
    for (size_t i = 0; i < list.size(); ++i) {
      if (list[i] == entry) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
      }
    }
    return false;
  }

  MessageQueueT<Msg>& queue_;
  std::vector<CMessageFilterT<Msg>*> filters_;
  std::vector<CIdleHandler*> idleHandlers_;
  Msg current_{};
};
