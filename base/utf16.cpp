#include "base/utf16.h"

#include <limits>

U16 U16FromUtf8(std::string_view in) {
  U16 out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto b = static_cast<unsigned char>(in[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b >> 5) == 0x6 || (b >> 4) == 0xE || (b >> 3) == 0x1E) {
      len = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : 4;
      if (i + len <= in.size()) {
        uint32_t v = b & (0x7F >> len);
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
          const auto c = static_cast<unsigned char>(in[i + k]);
          if ((c & 0xC0) != 0x80) { ok = false; len = k; break; }
          v = (v << 6) | (c & 0x3F);
        }
        const uint32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (ok && v >= minimum && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) cp = v;
      } else {
        len = 1;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string Utf8FromU16(U16View in) {
  std::string out;
  out.reserve(in.size() * 3);
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

U16 U16Decimal(int64_t value) {
  return U16Padded(value, 0, false);
}

U16 U16Padded(int64_t value, int width, bool padWithZeros) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  U16 digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  const int used = static_cast<int>(digits.size()) + (negative ? 1 : 0);
  const int pad = width > used ? width - used : 0;
  if (padWithZeros) {
    digits.insert(0, static_cast<size_t>(pad), u'0');
    if (negative) digits.insert(digits.begin(), u'-');
  } else {
    if (negative) digits.insert(digits.begin(), u'-');
    digits.insert(0, static_cast<size_t>(pad), u' ');
  }
  return digits;
}

size_t CopyToField(char16_t* field, size_t fieldUnits, U16View text) {
  if (fieldUnits == 0) return 0;
  size_t n = text.size() < fieldUnits - 1 ? text.size() : fieldUnits - 1;
  // Never split a surrogate pair at the cut.
  if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  for (size_t i = 0; i < n; ++i) field[i] = text[i];
  field[n] = u'\0';
  return n;
}

int32_t LeadingDecimal(U16View text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) break;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}
