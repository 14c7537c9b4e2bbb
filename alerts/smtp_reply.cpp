#include "alerts/smtp_reply.h"

#include <string_view>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the well-formed UTF-8 sequence at text[i], 0 when it is not one.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned int least = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) { length = 2; least = 0x80; }
  else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; least = 0x800; }
  else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; least = 0x10000; }
  else return 0;
  if (i + length > text.size()) return 0;
  unsigned int value = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string ShownText(std::string_view text, std::size_t limit) {
  std::string shown;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, i);
    if (length == 0) {
      if (shown.size() + 1 > limit) break;
      shown += '?';
      ++i;
      continue;
    }
    if (shown.size() + length > limit) break;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (length == 1 && (c < 0x20 || c == 0x7F)) shown += ' ';
    else shown.append(text.substr(i, length));
    i += length;
  }
  return shown;
}

std::string SmtpReply::Shown() const {
  std::string text = std::to_string(code);
  for (const std::string& line : lines) {
    if (!line.empty()) text += ' ' + line;
  }
  return ShownText(text, 300);
}

ReplyRead SmtpReplyReader::ReadLine(std::string& line) {
  for (;;) {
    const std::size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::size_t length = end;
      if (length > 0 && buffered_[length - 1] == '\r') --length;
      if (length > kMaxLine) return ReplyRead::TooLong;
      line.assign(buffered_, 0, length);
      buffered_.erase(0, end + 1);
      return ReplyRead::Ok;
    }
    if (buffered_.size() > kMaxLine + 1) return ReplyRead::TooLong;
    char chunk[1024];
    const int got = link_.Receive(chunk, sizeof chunk);
    if (got < 0) return ReplyRead::LinkFailed;
    if (got == 0) return ReplyRead::Closed;
    buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

ReplyRead SmtpReplyReader::Read(SmtpReply& reply) {
  reply = SmtpReply{};
  std::size_t total = 0;
  for (;;) {
    std::string line;
    const ReplyRead got = ReadLine(line);
    if (got != ReplyRead::Ok) return got;
    total += line.size();
    if (reply.lines.size() >= kMaxLines || total > kMaxReply) return ReplyRead::TooLong;
    // Reply-code [ SP text ] or Reply-code "-" text: 2xx to 5xx.
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        line[0] < '2' || line[0] > '5' || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
      return ReplyRead::Malformed;
    }
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (!reply.lines.empty() && code != reply.code) return ReplyRead::Malformed;
    reply.code = code;
    reply.lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
    if (line.size() == 3 || line[3] == ' ') return ReplyRead::Ok;
  }
}
