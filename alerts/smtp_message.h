#pragma once
// The mail itself, as the SMTP dialogue hands it over after DATA: headers and a UTF-8 body,
// every line ending in CR LF. The subject and the sender's name are RFC 2047 encoded words,
// the body base64 in lines of 76, so any text travels through any server unchanged.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "alerts/base64_text.h"

// "Subject: =?UTF-8?B?…?=", folded onto more lines when long; no line is longer than 76
// characters and no encoded word splits a UTF-8 character. Ends in CR LF.
std::string EncodedHeader(std::string_view name, std::string_view utf8Text);

// "Tue, 08 Dec 2026 23:30:00 +0000" for a time in UTC.
struct MailTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
std::string MailDate(const MailTime& utc);

struct MailParts {
  std::string senderName;  // shown beside the address, e.g. "Corvell网站监控"
  std::string from;
  std::vector<std::string> to;
  std::string subject;
  std::string body;  // UTF-8; its line ends become CR LF
  MailTime date;
  std::string uniquePart;  // the left half of the Message-ID, different for every mail
};
std::string ComposeMail(const MailParts& parts);

// The mail as DATA sends it: lines ending in CR LF, a line's leading '.' doubled, and the
// closing ".\r\n".
std::string DotStuffed(std::string_view mail);

// An address the dialogue may put in MAIL FROM / RCPT TO and in a header: "user@host" of
// printable ASCII without spaces or angle brackets.
bool IsPlainMailAddress(std::string_view address);
