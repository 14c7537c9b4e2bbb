#pragma once
// Reading the server's replies: "250 OK", or several lines "250-…" ending with "250 …". Codes
// are read strictly (three digits, every line the same code); a line, the number of lines and a
// whole reply have upper bounds, so a hostile server cannot make us hold unbounded text.
#include <cstddef>
#include <string_view>
#include <string>
#include <vector>

#include "alerts/smtp_link.h"

struct SmtpReply {
  int code = 0;
  std::vector<std::string> lines;  // each line's text after the code and its separator
  // The reply as one line for the user: "535 Authentication failed" (lines joined by spaces,
  // control characters and broken UTF-8 replaced, cut to a bounded length).
  std::string Shown() const;
};

enum class ReplyRead { Ok, LinkFailed, Closed, Malformed, TooLong };

class SmtpReplyReader {
 public:
  static constexpr std::size_t kMaxLine = 2048;    // bytes, without its line end
  static constexpr std::size_t kMaxLines = 200;    // in one reply (EHLO lists its extensions)
  static constexpr std::size_t kMaxReply = 32768;  // bytes of one reply

  explicit SmtpReplyReader(ISmtpLink& link) : link_(link) {}
  ReplyRead Read(SmtpReply& reply);
  // Drops bytes received but not yet read: after STARTTLS nothing the server sent in plain text
  // before the handshake may be taken as its answer.
  void Discard() { buffered_.clear(); }

 private:
  ReplyRead ReadLine(std::string& line);

  ISmtpLink& link_;
  std::string buffered_;
};

// Text shown to the user: control characters become spaces, broken UTF-8 becomes '?', and the
// result is cut at a character boundary to at most `limit` bytes.
std::string ShownText(std::string_view text, std::size_t limit);
