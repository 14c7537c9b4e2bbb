#pragma once
// What the main window and the notice thread share. Both hold it through a std::shared_ptr, so
// it lives until the later of the two lets go: the thread may still be in a request when the
// window is destroyed, and then it finds the window marked gone here instead of touching it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/utf16.h"

class NoticeLink {
 public:
  // window: the main window's handle (an HWND on Windows), kept opaque here.
  NoticeLink(void* window, int32_t lastNoticeId) : window_(window), lastNoticeId_(lastNoticeId) {}
  NoticeLink(const NoticeLink&) = delete;
  NoticeLink& operator=(const NoticeLink&) = delete;

  void* Window() const { return window_; }

  // The identifier of the last notice shown; raised by the notice thread, read by the main
  // window when it saves its settings record.
  int32_t LastNoticeId() const { return lastNoticeId_.load(std::memory_order_relaxed); }
  void SetLastNoticeId(int32_t id) { lastNoticeId_.store(id, std::memory_order_relaxed); }

  // Set by the main window before it is destroyed; after that nothing is posted or sent to it.
  void MarkWindowGone() { windowGone_.store(true, std::memory_order_release); }
  bool WindowGone() const { return windowGone_.load(std::memory_order_acquire); }

  // A notice text whose delivery timed out may still be read by the window later: it is kept
  // here, for as long as the link lives. Only the notice thread calls this.
  void KeepDeliveredText(std::unique_ptr<U16> text) { keptTexts_.push_back(std::move(text)); }
  size_t KeptTextCount() const { return keptTexts_.size(); }

 private:
  void* const window_;
  std::atomic<int32_t> lastNoticeId_;
  std::atomic<bool> windowGone_{false};
  std::vector<std::unique_ptr<U16>> keptTexts_;
};
