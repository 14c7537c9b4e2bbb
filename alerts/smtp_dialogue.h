#pragma once
// One SMTP conversation from the greeting to QUIT over a link: EHLO (HELO when EHLO is not
// understood), STARTTLS when asked for and EHLO again, AUTH PLAIN or else AUTH LOGIN, MAIL FROM,
// RCPT TO for every recipient, DATA, QUIT. A password is never sent over a link that is not
// encrypted, and never appears in the outcome.
#include <string>
#include <vector>

#include "alerts/alert_channel.h"
#include "alerts/smtp_link.h"

struct SmtpRequest {
  std::string helloName;  // how we name ourselves in EHLO: a host name or "[address]"
  bool startTls = false;  // the link is plain until STARTTLS
  std::string user;       // empty: no AUTH
  std::string password;
  std::string from;
  std::vector<std::string> to;
  std::string mail;  // ComposeMail's text
};

inline constexpr char kMailSent[] = "已发送";

SendOutcome RunSmtpDialogue(ISmtpLink& link, const SmtpRequest& request);
