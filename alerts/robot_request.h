#pragma once
// What each channel kind sends over HTTP(S), and how its answer is read. Portable: the clock
// and the HMAC come in from outside, so the tests see exactly what is signed and where it goes.
#include <cstdint>
#include <string>
#include <string_view>

#include "alerts/alert_channel.h"
#include "alerts/hmac_sha256.h"

// One POST of JSON (UTF-8).
struct ChannelRequest {
  std::string url;   // the channel's address, with 钉钉's timestamp and sign added to its query
  std::string body;
};

// The most bytes of `text` each service takes; longer text is cut at a character boundary and
// ends with "…".
size_t TextLimitOf(ChannelKind kind);

// Builds the request for a robot or webhook channel at unixMs (milliseconds since 1970, UTC).
// False, with `problem` in plain words (no secret in it), when it cannot be built: not an
// http(s) address, an e-mail channel, or a signature that could not be computed.
bool BuildChannelRequest(const AlertChannel& channel, const AlertMessage& message, int64_t unixMs,
                         IHmacSha256& hmac, ChannelRequest& request, std::string& problem);

// Reads the answer to a request: a 2xx status is needed, and a robot's JSON must carry code 0
// (企业微信 and 钉钉 "errcode", 飞书 "code" or the older "StatusCode"). A refusal shows the
// robot's own text; only rate limits, a busy service and server errors are worth retrying.
SendOutcome ReadChannelAnswer(ChannelKind kind, int httpStatus, std::string_view body);

// The text cut to at most maxBytes at a UTF-8 character boundary, "…" marking a cut.
std::string CutUtf8(std::string_view text, size_t maxBytes);
