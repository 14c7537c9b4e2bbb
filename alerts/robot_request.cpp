#include "alerts/robot_request.h"

#include <nlohmann/json.hpp>

#include "alerts/base64_text.h"

namespace {
using Json = nlohmann::ordered_json;

std::string Dumped(const Json& value) {
  // Text that is not UTF-8 is replaced, never thrown about.
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool IsHttpAddress(std::string_view url) {
  return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
}

// 钉钉's 加签: timestamp (ms) and sign = URL-encoded base64 of HMAC-SHA256 keyed by the secret
// over "timestamp\nsecret", added to the address's query.
bool SignDingTalk(const std::string& secret, int64_t unixMs, IHmacSha256& hmac, std::string& url) {
  const std::string timestamp = std::to_string(unixMs);
  std::string mac;
  if (!hmac.Compute(secret, timestamp + "\n" + secret, mac)) return false;
  url = url.substr(0, url.find('#'));
  url += url.find('?') == std::string::npos ? '?' : '&';
  url += "timestamp=" + timestamp + "&sign=" + PercentEncode(Base64Encode(mac));
  return true;
}

// 飞书's signature: timestamp (s) and sign = base64 of HMAC-SHA256 keyed by "timestamp\nsecret"
// over an empty message, both in the body.
bool SignFeishu(const std::string& secret, int64_t unixMs, IHmacSha256& hmac, Json& body) {
  const std::string timestamp = std::to_string(unixMs / 1000);
  std::string mac;
  if (!hmac.Compute(timestamp + "\n" + secret, "", mac)) return false;
  body["timestamp"] = timestamp;
  body["sign"] = Base64Encode(mac);
  return true;
}

// Rate limits and a busy service: the same message may pass later.
bool IsBusyCode(ChannelKind kind, int64_t code) {
  if (code == -1) return true;  // "system busy" on all three
  switch (kind) {
    case ChannelKind::WeCom: return code == 45009;      // api freq out of limit
    case ChannelKind::DingTalk: return code == 130101;  // send too fast
    case ChannelKind::Feishu: return code == 11232;     // frequency limited
    default: return false;
  }
}

// A service's own text, made safe for one line of the run log.
std::string OneLine(const std::string& text) {
  std::string line = CutUtf8(text, 300);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return line;
}

std::string TextField(const Json& answer, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    auto found = answer.find(name);
    if (found != answer.end() && found->is_string()) return OneLine(found->get<std::string>());
  }
  return {};
}

}  // namespace

size_t TextLimitOf(ChannelKind kind) {
  switch (kind) {
    case ChannelKind::WeCom: return 2048;    // the robot's text content limit
    case ChannelKind::DingTalk: return 18000;
    case ChannelKind::Feishu: return 18000;  // the whole request may be 20 KB
    default: return 60000;
  }
}

std::string CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  static constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // …
  if (maxBytes < kEllipsis.size()) return {};
  size_t end = maxBytes - kEllipsis.size();
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + std::string(kEllipsis);
}

bool BuildChannelRequest(const AlertChannel& channel, const AlertMessage& message, int64_t unixMs,
                         IHmacSha256& hmac, ChannelRequest& request, std::string& problem) {
  request = {};
  if (channel.kind == ChannelKind::Email) {
    problem = "邮件不经网址发送";
    return false;
  }
  if (!IsHttpAddress(channel.webhookUrl)) {
    problem = "地址须以 https:// 或 http:// 开头";
    return false;
  }
  request.url = channel.webhookUrl;
  const std::string text = CutUtf8(message.text, TextLimitOf(channel.kind));
  Json body = Json::object();
  switch (channel.kind) {
    case ChannelKind::WeCom:
      body["msgtype"] = "text";
      body["text"] = {{"content", text}};
      break;
    case ChannelKind::DingTalk:
      if (!channel.secret.empty() && !SignDingTalk(channel.secret, unixMs, hmac, request.url)) {
        problem = "无法计算加签";
        return false;
      }
      body["msgtype"] = "text";
      body["text"] = {{"content", text}};
      break;
    case ChannelKind::Feishu:
      if (!channel.secret.empty() && !SignFeishu(channel.secret, unixMs, hmac, body)) {
        problem = "无法计算签名";
        return false;
      }
      body["msg_type"] = "text";
      body["content"] = {{"text", text}};
      break;
    default: {
      Json fields = Json::parse(message.webhookFields, nullptr, false);
      if (fields.is_object()) body = std::move(fields);
      body["text"] = text;
      break;
    }
  }
  request.body = Dumped(body);
  return true;
}

SendOutcome ReadChannelAnswer(ChannelKind kind, int httpStatus, std::string_view body) {
  SendOutcome outcome;
  const Json answer = Json::parse(body.begin(), body.end(), nullptr, false);
  const bool isObject = answer.is_object();
  if (httpStatus < 200 || httpStatus > 299) {
    outcome.detail = "服务器回答 HTTP " + std::to_string(httpStatus);
    const std::string said = isObject ? TextField(answer, {"errmsg", "msg", "StatusMessage", "message"}) : "";
    if (!said.empty()) outcome.detail += "：" + said;
    outcome.worthRetrying = httpStatus >= 500 || httpStatus == 429 || httpStatus == 408;
    return outcome;
  }
  if (kind == ChannelKind::Webhook) {
    outcome.delivered = true;
    outcome.detail = "已发送";
    return outcome;
  }
  const char* codeNames[] = {"errcode", nullptr};
  if (kind == ChannelKind::Feishu) codeNames[0] = "code", codeNames[1] = "StatusCode";
  const Json* code = nullptr;
  if (isObject) {
    for (const char* name : codeNames) {
      if (name == nullptr) continue;
      auto found = answer.find(name);
      if (found != answer.end() && found->is_number_integer()) {
        code = &*found;
        break;
      }
    }
  }
  if (code == nullptr) {
    outcome.detail = "机器人的回答无法识别（HTTP " + std::to_string(httpStatus) + "）";
    return outcome;
  }
  const int64_t value = code->get<int64_t>();
  if (value == 0) {
    outcome.delivered = true;
    outcome.detail = "已发送";
    return outcome;
  }
  std::string said = TextField(answer, {"errmsg", "msg", "StatusMessage"});
  outcome.detail = "机器人拒绝：" + (said.empty() ? std::string("（无说明）") : said) + "（错误码 " +
                   std::to_string(value) + "）";
  outcome.worthRetrying = IsBusyCode(kind, value);
  return outcome;
}
