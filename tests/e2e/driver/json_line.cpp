#include "tests/e2e/driver/json_line.h"

#include <cstdio>

void JsonLine::Key(const char* key) {
  if (!body_.empty()) body_ += ',';
  body_ += '"';
  body_ += key;
  body_ += "\":";
}

JsonLine& JsonLine::Bool(const char* key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::Int(const char* key, long long value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Text(const char* key, const std::wstring& value) {
  Key(key);
  body_ += Quote(value);
  return *this;
}

JsonLine& JsonLine::TextList(const char* key, const std::vector<std::wstring>& values) {
  std::string list = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) list += ',';
    list += Quote(values[i]);
  }
  list += ']';
  return Raw(key, list);
}

JsonLine& JsonLine::IntList(const char* key, std::initializer_list<long long> values) {
  std::string list = "[";
  bool first = true;
  for (long long v : values) {
    if (!first) list += ',';
    first = false;
    list += std::to_string(v);
  }
  list += ']';
  return Raw(key, list);
}

JsonLine& JsonLine::Raw(const char* key, const std::string& json) {
  Key(key);
  body_ += json;
  return *this;
}

std::string JsonLine::Quote(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c) & 0xFFFFu);
      out += escaped;
    }
  }
  out += '"';
  return out;
}

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

void SkipBlanks(const std::wstring& s, size_t& i) {
  while (i < s.size() && (s[i] == L' ' || s[i] == L'\t' || s[i] == L'\r' || s[i] == L'\n')) ++i;
}

bool ParseString(const std::wstring& s, size_t& i, std::wstring& out) {
  if (i >= s.size() || s[i] != L'"') return false;
  ++i;
  while (i < s.size()) {
    wchar_t c = s[i++];
    if (c == L'"') return true;
    if (c != L'\\') {
      out += c;
      continue;
    }
    if (i >= s.size()) return false;
    wchar_t e = s[i++];
    switch (e) {
      case L'"': out += L'"'; break;
      case L'\\': out += L'\\'; break;
      case L'/': out += L'/'; break;
      case L'b': out += L'\b'; break;
      case L'f': out += L'\f'; break;
      case L'n': out += L'\n'; break;
      case L'r': out += L'\r'; break;
      case L't': out += L'\t'; break;
      case L'u': {
        if (i + 4 > s.size()) return false;
        int value = 0;
        for (int k = 0; k < 4; ++k) {
          int d = HexDigit(s[i + k]);
          if (d < 0) return false;
          value = value * 16 + d;
        }
        i += 4;
        out += static_cast<wchar_t>(value);  // surrogate halves pass through as UTF-16 units
        break;
      }
      default: return false;
    }
  }
  return false;
}

}  // namespace

bool ParseStringArray(const std::wstring& line, std::vector<std::wstring>& out) {
  out.clear();
  size_t i = 0;
  SkipBlanks(line, i);
  if (i >= line.size() || line[i] != L'[') return false;
  ++i;
  SkipBlanks(line, i);
  if (i < line.size() && line[i] == L']') return true;
  while (true) {
    SkipBlanks(line, i);
    std::wstring item;
    if (!ParseString(line, i, item)) return false;
    out.push_back(std::move(item));
    SkipBlanks(line, i);
    if (i >= line.size()) return false;
    if (line[i] == L']') {
      ++i;
      SkipBlanks(line, i);
      return i == line.size();
    }
    if (line[i] != L',') return false;
    ++i;
  }
}
