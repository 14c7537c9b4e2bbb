#include "notice/notice_check.h"

#include "notice/notice_reply.h"
#include "notice/reply_buffer.h"
#include "notice/service_notice_message.h"

int32_t ChooseNoticePause(int32_t answeredRequests) {
  return answeredRequests <= 2 ? kShortPauseSeconds : kLongPauseSeconds;
}

U16 BuildNoticeFormBody(int32_t softtype, U16View versionText) {
  U16 body = u"softtype=";
  body += U16Decimal(softtype);
  body += u"&ver=";
  body += versionText;
  return body;
}

namespace {

enum class BodyRead { Complete, TooLong, NoMemory };

// Reads the whole body in chunks of 512 bytes into the buffer; stops when a read delivers
// nothing. A body longer than kMaxReplyBytes is not read further.
BodyRead ReadBody(INoticeExchange& exchange, ReplyBuffer& buffer) {
  if (buffer.capacity() == 0) return BodyRead::NoMemory;
  char chunk[kReplyChunkBytes + 1];
  for (;;) {
    for (char& c : chunk) c = 0;
    int32_t got = exchange.ReadChunk(chunk, kReplyChunkBytes);
    if (got <= 0) return BodyRead::Complete;
    if (got > kReplyChunkBytes) got = kReplyChunkBytes;  // never trust a count beyond the ask
    if (buffer.length() + got > kMaxReplyBytes) return BodyRead::TooLong;
    if (!buffer.Append(chunk, got)) return BodyRead::NoMemory;
  }
}

// The text up to its first zero byte, as the window would read it.
std::string_view UpToZero(const std::string& bytes) {
  return std::string_view(bytes.c_str());
}

}  // namespace

int32_t PerformNoticeRequest(NoticeCheckState& state, U16View formBody, NoticeLink& link,
                             INoticeEnvironment& env, NoticeRequestOutcome* outcome) {
  NoticeRequestOutcome ignored;
  NoticeRequestOutcome& result = outcome ? *outcome : ignored;
  const int32_t pause = ChooseNoticePause(state.answeredRequests);

  result = NoticeRequestOutcome::NotSent;
  std::unique_ptr<INoticeExchange> exchange = env.SendRequest(formBody);
  if (!exchange) return pause;

  const int32_t status = exchange->StatusCode();
  ++state.answeredRequests;
  result = NoticeRequestOutcome::BadStatus;
  if (status < 200 || status > 206) return pause;

  result = NoticeRequestOutcome::NotUnderstood;
  ParsedNoticeReply parsed;
  {
    ReplyBuffer buffer;
    if (ReadBody(*exchange, buffer) != BodyRead::Complete) return pause;
    parsed = ParseNoticeReply(buffer.Text());
  }
  exchange.reset();  // the connection is not needed for showing
  if (parsed.result == NoticeReplyParse::NotJson) return pause;

  if (state.answeredRequests >= 2)
    ++state.answeredRequests;
  else
    state.answeredRequests = 3;

  result = NoticeRequestOutcome::Unusable;
  if (parsed.result != NoticeReplyParse::Understood) return pause;
  result = NoticeRequestOutcome::Understood;
  const NoticeReply& reply = parsed.reply;

  if (reply.update != 0 && !link.WindowGone()) env.DeliverUpdateAvailable();

  if (reply.noticeId != 0 && reply.noticeId > link.LastNoticeId()) {
    U16 text = env.AnsiToWide(UpToZero(reply.noticeText));
    // Length as the window measures it: up to the first zero. The identifier is not raised here:
    // the window raises it when it shows the text, so a notice that never reached the window is
    // offered again at the next request.
    if (IsShownNoticeText(text.c_str()) && !link.WindowGone()) {
      const char16_t* held = link.HoldNotice(reply.noticeId, std::move(text));
      if (env.SendNoticeText(held) == NoticeDelivery::Handled) link.ReleaseNotice(held);
    }
  }
  return pause;
}

void RunNoticeCheck(U16View formBody, NoticeLink& link, INoticeEnvironment& env,
                    const std::atomic<int32_t>& exitFlag) {
  NoticeCheckState state;
  int32_t countdown = kNoticeFirstCountdown;
  while (exitFlag.load(std::memory_order_relaxed) == 0) {
    --countdown;
    if (countdown > 0)
      env.SleepOneSecond();
    else
      countdown = PerformNoticeRequest(state, formBody, link, env);
  }
}
