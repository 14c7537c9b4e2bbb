#pragma once
// A notice environment on a fake clock: each sleep advances the clock by one second, each request
// takes a scripted reply, and the two messages go to a fake main window that runs the real
// handler over recording outlets.
#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "notice/notice_check.h"
#include "notice/service_notice_handler.h"
#include "notice/service_notice_message.h"
#include "tests/support/recording_outlets.h"

namespace notice_test {

inline const U16 kAppTitle = u"Corvell网站监控";

// What the fake service does with one request.
struct ScriptedAnswer {
  bool sent = true;        // false: opening, connecting or sending failed
  int32_t status = 200;
  std::string body;
  int32_t chunkLimit = 512;  // at most this many bytes per read
};

inline ScriptedAnswer Unreachable() { return {false, 0, {}, 512}; }
inline ScriptedAnswer Answer(std::string body, int32_t status = 200) {
  return {true, status, std::move(body), 512};
}

// The main window as far as the notice check is concerned: its handler and its popup.
struct FakeMainWindow {
  NoticeLink* link = nullptr;  // the link the window's handler reports shown notices on
  bool updateShown = false;
  RecordingOutlets outlets;

  std::vector<U16> PopupTexts() const {
    std::vector<U16> texts;
    for (const auto& c : outlets.calls) texts.push_back(c.text);
    return texts;
  }
};

class FakeExchange : public INoticeExchange {
 public:
  FakeExchange(const ScriptedAnswer& answer, int* reads) : answer_(answer), reads_(reads) {}
  int32_t StatusCode() override { return answer_.status; }
  int32_t ReadChunk(char* into, int32_t maxBytes) override {
    ++*reads_;
    const size_t left = answer_.body.size() - offset_;
    size_t n = std::min<size_t>(left, static_cast<size_t>(std::min(maxBytes, answer_.chunkLimit)));
    answer_.body.copy(into, n, offset_);
    offset_ += n;
    return static_cast<int32_t>(n);
  }

 private:
  ScriptedAnswer answer_;
  size_t offset_ = 0;
  int* reads_;
};

class FakeNoticeEnvironment : public INoticeEnvironment {
 public:
  explicit FakeNoticeEnvironment(FakeMainWindow* window) : window_(window) {}

  // The answer for each request in turn; the last one repeats.
  std::deque<ScriptedAnswer> answers{Unreachable()};
  int64_t now = 0;                     // fake seconds since the thread started
  std::vector<int64_t> requestTimes;   // fake time of each request
  std::vector<U16> sentBodies;
  int reads = 0;
  int updates = 0;
  int sends = 0;
  NoticeDelivery delivery = NoticeDelivery::Handled;
  // Called at every sleep and request with the fake time, e.g. to raise the exit flag.
  std::function<void(FakeNoticeEnvironment&)> onTick;

  void SleepOneSecond() override {
    ++now;
    if (onTick) onTick(*this);
  }
  std::unique_ptr<INoticeExchange> SendRequest(U16View formBody) override {
    requestTimes.push_back(now);
    sentBodies.emplace_back(formBody);
    ScriptedAnswer answer = answers.front();
    if (answers.size() > 1) answers.pop_front();
    if (onTick) onTick(*this);
    if (!answer.sent) return nullptr;
    return std::make_unique<FakeExchange>(answer, &reads);
  }
  // The tests' "ANSI code page" is UTF-8.
  U16 AnsiToWide(std::string_view ansi) override { return U16FromUtf8(ansi); }
  void DeliverUpdateAvailable() override {
    ++updates;
    HandleServiceNotice(kUpdateAvailable, nullptr, window_->updateShown, kAppTitle,
                        window_->outlets);
  }
  // With `delivery` MayBeLater the window is busy: the text is not handled now (a test may hand
  // it to Receive later, as a late arrival).
  NoticeDelivery SendNoticeText(const char16_t* text) override {
    ++sends;
    lastSentText = text;
    if (delivery == NoticeDelivery::Handled) Receive(text);
    return delivery;
  }
  void Receive(const char16_t* text) {
    ReceiveServiceNotice(window_->link, kNoticeText, text, window_->updateShown, kAppTitle,
                         window_->outlets);
  }
  const char16_t* lastSentText = nullptr;

 private:
  FakeMainWindow* window_;
};

}  // namespace notice_test
