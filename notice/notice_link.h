#pragma once
// What the main window and the notice thread share. Both hold it through a std::shared_ptr, so
// it lives until the later of the two lets go: the thread may still be in a request when the
// window is destroyed, and then it finds the window marked gone here instead of touching it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/utf16.h"

class NoticeLink {
 public:
  // window: the main window's handle (an HWND on Windows), kept opaque here.
  NoticeLink(void* window, int32_t lastNoticeId) : window_(window), lastNoticeId_(lastNoticeId) {}
  NoticeLink(const NoticeLink&) = delete;
  NoticeLink& operator=(const NoticeLink&) = delete;

  void* Window() const { return window_; }

  // The identifier of the last notice shown; raised only once the window has shown it (see
  // NoticeShown), read by the main window when it saves its settings record, so a stored
  // identifier always stands for a notice the user saw.
  int32_t LastNoticeId() const { return lastNoticeId_.load(std::memory_order_relaxed); }

  // Set by the main window before it is destroyed; after that nothing is posted or sent to it.
  void MarkWindowGone() { windowGone_.store(true, std::memory_order_release); }
  bool WindowGone() const { return windowGone_.load(std::memory_order_acquire); }

  // The notice thread holds each notice text it hands to the window here, with its identifier,
  // and passes the window the returned pointer. A text whose delivery timed out stays held for
  // as long as the link lives: the window may still be reading it, or read it later.
  const char16_t* HoldNotice(int32_t id, U16 text);
  // The thread lets go of a text the window has finished with (handled or refused).
  void ReleaseNotice(const char16_t* text);
  // Called by the window's handler once it has shown `text`: that notice's identifier becomes the
  // last one shown, unless a higher one already is.
  void NoticeShown(const char16_t* text);
  size_t HeldNoticeCount() const;

 private:
  struct HeldNotice {
    int32_t id;
    U16 text;
  };

  void* const window_;
  std::atomic<int32_t> lastNoticeId_;
  std::atomic<bool> windowGone_{false};
  mutable std::mutex heldMutex_;  // the thread adds and releases, the window marks shown
  std::vector<std::unique_ptr<HeldNotice>> held_;
};
