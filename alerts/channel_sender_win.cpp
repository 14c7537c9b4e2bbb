#include "alerts/channel_sender_win.h"

#include "alerts/address_mask.h"
#include "alerts/hmac_sha256_win.h"
#include "alerts/http_post_win.h"
#include "alerts/robot_request.h"
#include "alerts/smtp_send_win.h"

namespace {

int64_t UnixMsNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;  // 100 ns since 1601
  constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;
  return static_cast<int64_t>((ticks - kUnixEpochTicks) / 10000);
}

SendOutcome SendOverHttp(const AlertChannel& channel, const AlertMessage& message, DWORD timeLimitMs,
                         const std::atomic<bool>& cancel) {
  SendOutcome outcome;
  BCryptHmacSha256 hmac;
  ChannelRequest request;
  std::string problem;
  if (!BuildChannelRequest(channel, message, UnixMsNow(), hmac, request, problem)) {
    outcome.worthRetrying = false;
    outcome.detail = problem;
    return outcome;
  }
  const HttpPostAnswer answer = PostJson(request.url, request.body, timeLimitMs, cancel);
  switch (answer.outcome) {
    case HttpPostAnswer::Outcome::Answered:
      return ReadChannelAnswer(channel.kind, answer.status, answer.body);
    case HttpPostAnswer::Outcome::TimedOut:
      outcome.detail = "等待回答超时（" + std::to_string(timeLimitMs / 1000) + " 秒）";
      return outcome;
    case HttpPostAnswer::Outcome::Cancelled:
      outcome.detail = "已取消";
      return outcome;
    case HttpPostAnswer::Outcome::Failed:
      break;
  }
  outcome.detail = DescribeInternetError(answer.error, outcome.worthRetrying);
  return outcome;
}

}  // namespace

SendOutcome WinChannelSender::Send(const AlertChannel& channel, const AlertMessage& message,
                                   const std::atomic<bool>& cancel) {
  SendOutcome outcome = channel.kind == ChannelKind::Email
                            ? SendMailOverSmtp(channel, message, cancel)
                            : SendOverHttp(channel, message, timeLimitMs_, cancel);
  outcome.detail = WithoutSecrets(std::move(outcome.detail), channel);
  return outcome;
}
