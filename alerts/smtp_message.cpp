#include "alerts/smtp_message.h"

#include <cstdio>

namespace {

constexpr std::size_t kLineLimit = 76;

// The longest start of `text` of at most `limit` bytes that ends on a character boundary.
std::size_t WholeCharacters(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut > 0 ? cut : limit;  // a run of stray continuation bytes: cut anywhere
}

std::string CrLfLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      lines += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      lines += "\r\n";
    } else {
      lines += c;
    }
  }
  return lines;
}

std::string Domain(std::string_view address) {
  const std::size_t at = address.rfind('@');
  return at == std::string_view::npos ? std::string("localhost") : std::string(address.substr(at + 1));
}

}  // namespace

std::string EncodedHeader(std::string_view name, std::string_view utf8Text) {
  // "=?UTF-8?B?" and "?=" take 12 characters; 39 bytes make 52 of base64, so the first line
  // ("Subject: " and one word) and every folded line (a space and one word) stay within 76.
  constexpr std::size_t kBytesPerWord = 39;
  std::string header(name);
  header += ':';
  if (utf8Text.empty()) return header + "\r\n";
  bool first = true;
  while (!utf8Text.empty()) {
    const std::size_t take = WholeCharacters(utf8Text, kBytesPerWord);
    header += first ? " " : "\r\n ";
    header += "=?UTF-8?B?" + Base64Encode(utf8Text.substr(0, take)) + "?=";
    utf8Text.remove_prefix(take);
    first = false;
  }
  return header + "\r\n";
}

std::string MailDate(const MailTime& utc) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int month = utc.month >= 1 && utc.month <= 12 ? utc.month : 1;
  // Sakamoto's rule for the day of the week.
  static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int y = month < 3 ? utc.year - 1 : utc.year;
  const int weekday = ((y + y / 4 - y / 100 + y / 400 + kOffsets[month - 1] + utc.day) % 7 + 7) % 7;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[weekday], utc.day,
                kMonths[month - 1], utc.year, utc.hour, utc.minute, utc.second);
  return text;
}

bool IsPlainMailAddress(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  const std::size_t at = address.rfind('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == address.size()) return false;
  for (const char c : address) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>' || c == ',' || c == '(' || c == ')' ||
        c == ';' || c == ':' || c == '"' || c == '\\' || c == '[' || c == ']') {
      return false;
    }
  }
  return true;
}

std::string ComposeMail(const MailParts& parts) {
  std::string mail = "Date: " + MailDate(parts.date) + "\r\n";
  if (parts.senderName.empty()) {
    mail += "From: <" + parts.from + ">\r\n";
  } else {
    std::string from = EncodedHeader("From", parts.senderName);
    from.resize(from.size() - 2);  // the address goes on a line of its own
    mail += from + "\r\n <" + parts.from + ">\r\n";
  }
  mail += "To:";
  for (std::size_t i = 0; i < parts.to.size(); ++i) {
    mail += (i == 0 ? " <" : ",\r\n <") + parts.to[i] + ">";
  }
  mail += "\r\n";
  mail += EncodedHeader("Subject", parts.subject);
  mail += "Message-ID: <" + parts.uniquePart + "@" + Domain(parts.from) + ">\r\n";
  mail += "MIME-Version: 1.0\r\n"
          "Content-Type: text/plain; charset=UTF-8\r\n"
          "Content-Transfer-Encoding: base64\r\n"
          "\r\n";
  const std::string body = Base64Encode(CrLfLines(parts.body));
  for (std::size_t i = 0; i < body.size(); i += kLineLimit) {
    mail.append(body, i, kLineLimit);
    mail += "\r\n";
  }
  return mail;
}

std::string DotStuffed(std::string_view mail) {
  const std::string lines = CrLfLines(mail);
  std::string data;
  data.reserve(lines.size() + 16);
  bool lineStart = true;
  for (const char c : lines) {
    if (lineStart && c == '.') data += '.';
    data += c;
    lineStart = c == '\n';
  }
  if (!lineStart) data += "\r\n";
  return data + ".\r\n";
}
