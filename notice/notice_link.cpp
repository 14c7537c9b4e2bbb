#include "notice/notice_link.h"

#include <algorithm>

const char16_t* NoticeLink::HoldNotice(int32_t id, U16 text) {
  auto notice = std::make_unique<HeldNotice>(HeldNotice{id, std::move(text)});
  const char16_t* handedOver = notice->text.c_str();
  std::lock_guard<std::mutex> lock(heldMutex_);
  held_.push_back(std::move(notice));
  return handedOver;
}

void NoticeLink::ReleaseNotice(const char16_t* text) {
  std::lock_guard<std::mutex> lock(heldMutex_);
  held_.erase(std::remove_if(held_.begin(), held_.end(),
                             [text](const auto& notice) { return notice->text.c_str() == text; }),
              held_.end());
}

void NoticeLink::NoticeShown(const char16_t* text) {
  std::lock_guard<std::mutex> lock(heldMutex_);
  for (const auto& notice : held_) {
    if (notice->text.c_str() != text) continue;
    int32_t last = lastNoticeId_.load(std::memory_order_relaxed);
    while (notice->id > last &&
           !lastNoticeId_.compare_exchange_weak(last, notice->id, std::memory_order_relaxed)) {
    }
    return;
  }
}

size_t NoticeLink::HeldNoticeCount() const {
  std::lock_guard<std::mutex> lock(heldMutex_);
  return held_.size();
}
