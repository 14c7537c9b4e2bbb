// Fuzzes the notice service's reply: the bytes arrive in chunks of a size the input chooses, go
// through the reply buffer, the JSON parse and the member conversions, and on to the notice and
// update decisions. Also checks that any bytes inside a JSON string come out unchanged.
//
// Input: the last two bytes choose the chunk size (1 to 512); the bytes before them are the body.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "notice/notice_check.h"
#include "notice/notice_reply.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

class ReplayExchange : public INoticeExchange {
 public:
  ReplayExchange(std::string_view body, int32_t chunk) : body_(body), chunk_(chunk) {}
  int32_t StatusCode() override { return 200; }
  int32_t ReadChunk(char* into, int32_t maxBytes) override {
    const size_t n = std::min<size_t>(body_.size(), static_cast<size_t>(std::min(maxBytes, chunk_)));
    std::memcpy(into, body_.data(), n);
    body_.remove_prefix(n);
    return static_cast<int32_t>(n);
  }

 private:
  std::string_view body_;
  int32_t chunk_;
};

class ReplayEnvironment : public INoticeEnvironment {
 public:
  ReplayEnvironment(std::string_view body, int32_t chunk, NoticeLink& link)
      : body_(body), chunk_(chunk), link_(link) {}
  void SleepOneSecond() override {}
  std::unique_ptr<INoticeExchange> SendRequest(U16View) override {
    return std::make_unique<ReplayExchange>(body_, chunk_);
  }
  U16 AnsiToWide(std::string_view ansi) override { return U16FromUtf8(ansi); }
  void DeliverUpdateAvailable() override { ++updates; }
  NoticeDelivery SendNoticeText(const char16_t* text) override {
    Require(text && U16View(text).size() > 5);
    ++notices;
    link_.NoticeShown(text);  // what the window's handler does once it has shown the text
    return NoticeDelivery::Handled;
  }
  int updates = 0;
  int notices = 0;

 private:
  std::string_view body_;
  int32_t chunk_;
  NoticeLink& link_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t chunk = in.ConsumeIntegralInRange<int32_t>(1, 512);
  const std::string body = in.ConsumeRemainingBytesAsString();

  // The whole request path over this body.
  NoticeLink link(nullptr, 0);
  ReplayEnvironment env(body, chunk, link);
  NoticeCheckState state;
  NoticeRequestOutcome outcome;
  PerformNoticeRequest(state, u"softtype=2&ver=1.1.0.0", link, env, &outcome);
  Require(state.answeredRequests == 1 || state.answeredRequests == 3);
  if (outcome != NoticeRequestOutcome::Understood) Require(env.updates == 0 && env.notices == 0);
  Require(env.notices == 0 || link.LastNoticeId() > 0);
  Require(link.HeldNoticeCount() == 0);  // a handled notice is let go

  // The parser on the raw bytes, and the same bytes as the content of a string.
  const ParsedNoticeReply direct = ParseNoticeReply(body);
  if (direct.result != NoticeReplyParse::Understood) Require(direct.reply.noticeText.empty());
  std::string plain;
  for (char c : body)
    if (c != '"' && c != '\\') plain += c;
  const ParsedNoticeReply wrapped = ParseNoticeReply("{\"notice_text\":\"" + plain + "\"}");
  Require(wrapped.result == NoticeReplyParse::Understood);
  Require(wrapped.reply.noticeText == plain);
  return 0;
}
