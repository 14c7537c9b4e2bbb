#include "notice/notice_reply.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

bool ToInt32(const Json& value, int32_t& out) {
  switch (value.type()) {
    case Json::value_t::null:
      out = 0;
      return true;
    case Json::value_t::boolean:
      out = *value.get_ptr<const Json::boolean_t*>() ? 1 : 0;
      return true;
    case Json::value_t::number_integer: {
      const int64_t v = *value.get_ptr<const Json::number_integer_t*>();
      if (v < kIntMin || v > kIntMax) return false;
      out = static_cast<int32_t>(v);
      return true;
    }
    case Json::value_t::number_unsigned: {
      const uint64_t v = *value.get_ptr<const Json::number_unsigned_t*>();
      if (v > static_cast<uint64_t>(kIntMax)) return false;
      out = static_cast<int32_t>(v);
      return true;
    }
    case Json::value_t::number_float: {
      const double v = *value.get_ptr<const Json::number_float_t*>();
      // NaN fails both comparisons; infinities fail one.
      if (!(v >= static_cast<double>(kIntMin) && v <= static_cast<double>(kIntMax))) return false;
      out = static_cast<int32_t>(v);
      return true;
    }
    default:
      return false;
  }
}

bool ToText(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::null:
      out.clear();
      return true;
    case Json::value_t::string:
      out = *value.get_ptr<const Json::string_t*>();
      return true;
    case Json::value_t::boolean:
      out = *value.get_ptr<const Json::boolean_t*>() ? "true" : "false";
      return true;
    case Json::value_t::number_integer:
      out = std::to_string(*value.get_ptr<const Json::number_integer_t*>());
      return true;
    case Json::value_t::number_unsigned:
      out = std::to_string(*value.get_ptr<const Json::number_unsigned_t*>());
      return true;
    case Json::value_t::number_float: {
      const double v = *value.get_ptr<const Json::number_float_t*>();
      if (!std::isfinite(v)) return false;
      char digits[40];
      const int n = std::snprintf(digits, sizeof digits, "%.17g", v);
      if (n <= 0 || n >= static_cast<int>(sizeof digits)) return false;
      out.assign(digits, static_cast<size_t>(n));
      return true;
    }
    default:
      return false;
  }
}

// The member of an object root, or null when it is missing (or the root is null).
const Json& Member(const Json& root, const char* name) {
  static const Json kNull;
  if (!root.is_object()) return kNull;
  const auto it = root.find(name);
  return it == root.end() ? kNull : *it;
}

}  // namespace

bool PrepareJsonText(std::string_view text, int maxDepth, std::string& out) {
  out.clear();
  out.reserve(text.size() + text.size() / 4);
  int depth = 0;
  bool inString = false;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (inString) {
      if (c == '\\' && i + 1 < n) {  // an escape: copied as it is, the parser checks it
        out += text[i];
        out += text[i + 1];
        i += 2;
        continue;
      }
      if (c == '"') {
        inString = false;
      } else if (c >= 0x80) {  // U+F700+c as UTF-8
        const unsigned cp = 0xF700u + c;
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
        ++i;
        continue;
      } else if (c < 0x20) {
        static const char kHex[] = "0123456789abcdef";
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0x0F];
        ++i;
        continue;
      }
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '*')) {
      // A comment, copied whole: brackets and quotes in it mean nothing.
      const bool line = text[i + 1] == '/';
      size_t end = line ? text.find('\n', i + 2) : text.find("*/", i + 2);
      end = end == std::string_view::npos ? n : end + (line ? 0 : 2);
      out.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) {
        out.clear();
        return false;
      }
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
    out += static_cast<char>(c);
    ++i;
  }
  return true;
}

std::string RestoreRawBytes(std::string_view parsed) {
  std::string bytes;
  bytes.reserve(parsed.size());
  for (size_t i = 0; i < parsed.size(); ++i) {
    const unsigned char b0 = static_cast<unsigned char>(parsed[i]);
    if (b0 == 0xEF && i + 2 < parsed.size()) {
      const unsigned cp = ((b0 & 0x0Fu) << 12) |
                          ((static_cast<unsigned char>(parsed[i + 1]) & 0x3Fu) << 6) |
                          (static_cast<unsigned char>(parsed[i + 2]) & 0x3Fu);
      if (cp >= 0xF780 && cp <= 0xF7FF) {
        bytes += static_cast<char>(cp - 0xF700);
        i += 2;
        continue;
      }
    }
    bytes += static_cast<char>(b0);
  }
  return bytes;
}

ParsedNoticeReply ParseNoticeReply(std::string_view text) noexcept {
  ParsedNoticeReply parsed;
  try {
    std::string strict;
    if (!PrepareJsonText(text, kMaxJsonDepth, strict)) return parsed;
    // No callback, no exceptions on bad input, comments skipped.
    const Json root = Json::parse(strict, nullptr, false, true);
    if (root.is_discarded()) return parsed;
    parsed.result = NoticeReplyParse::Unusable;
    if (!root.is_object() && !root.is_null()) return parsed;
    NoticeReply reply;
    if (!ToInt32(Member(root, "update"), reply.update) ||
        !ToInt32(Member(root, "notice_id"), reply.noticeId) ||
        !ToText(Member(root, "notice_text"), reply.noticeText))
      return parsed;
    reply.noticeText = RestoreRawBytes(reply.noticeText);
    parsed.reply = std::move(reply);
    parsed.result = NoticeReplyParse::Understood;
  } catch (...) {
    // Only running out of memory can get here; such a reply is treated as not understood.
    parsed = ParsedNoticeReply{};
  }
  return parsed;
}
