#include "alerts/smtp_dialogue.h"

#include <algorithm>
#include <string_view>

#include "alerts/smtp_message.h"
#include "alerts/smtp_reply.h"

namespace {

SendOutcome Failed(std::string detail, bool worthRetrying) {
  return SendOutcome{false, worthRetrying, std::move(detail)};
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// What the server's EHLO reply offers.
struct Extensions {
  bool startTls = false;
  bool authPlain = false;
  bool authLogin = false;
};

Extensions ExtensionsOf(const SmtpReply& ehlo) {
  Extensions offered;
  for (std::size_t i = 1; i < ehlo.lines.size(); ++i) {  // the first line is the server's name
    const std::string line = Upper(ehlo.lines[i]);
    if (line == "STARTTLS") offered.startTls = true;
    if (line.rfind("AUTH", 0) == 0 && line.size() > 4 && (line[4] == ' ' || line[4] == '=')) {
      std::size_t at = 5;
      while (at < line.size()) {
        std::size_t end = line.find(' ', at);
        if (end == std::string::npos) end = line.size();
        const std::string_view mechanism(line.data() + at, end - at);
        if (mechanism == "PLAIN") offered.authPlain = true;
        if (mechanism == "LOGIN") offered.authLogin = true;
        at = end + 1;
      }
    }
  }
  return offered;
}

class Dialogue {
 public:
  Dialogue(ISmtpLink& link, const SmtpRequest& request)
      : link_(link), request_(request), replies_(link) {}

  SendOutcome Run();

 private:
  // Sends one command (empty: none, only read) and reads its reply; false when the link or the
  // reply failed, with the outcome in failure_.
  bool Exchange(const std::string& command, SmtpReply& reply);
  // The server refused: its reply line is the outcome (the password scrubbed from it).
  SendOutcome Refused(const SmtpReply& reply);
  bool Hello(SmtpReply& reply, bool allowHelo);
  bool Authenticate(const Extensions& offered, SendOutcome& outcome);
  void Quit();
  std::string Scrubbed(std::string text) const;

  ISmtpLink& link_;
  const SmtpRequest& request_;
  SmtpReplyReader replies_;
  SendOutcome failure_;
};

std::string Dialogue::Scrubbed(std::string text) const {
  // A server could echo what it was sent; the password never reaches the user's screen.
  for (const std::string& secret : {request_.password, Base64Encode(request_.password)}) {
    if (secret.empty()) continue;
    for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at)) {
      text.replace(at, secret.size(), "***");
      at += 3;
    }
  }
  return text;
}

bool Dialogue::Exchange(const std::string& command, SmtpReply& reply) {
  if (!command.empty() && !link_.Send(command + "\r\n")) {
    failure_ = Failed(Scrubbed(link_.Problem()), true);
    return false;
  }
  switch (replies_.Read(reply)) {
    case ReplyRead::Ok:
      return true;
    case ReplyRead::LinkFailed:
      failure_ = Failed(Scrubbed(link_.Problem()), true);
      return false;
    case ReplyRead::Closed:
      failure_ = Failed("邮件服务器断开了连接", true);
      return false;
    case ReplyRead::Malformed:
      failure_ = Failed("邮件服务器的回答无法识别", true);
      return false;
    case ReplyRead::TooLong:
      failure_ = Failed("邮件服务器的回答过长", true);
      return false;
  }
  return false;
}

SendOutcome Dialogue::Refused(const SmtpReply& reply) {
  Quit();
  // 4xx: the server asks to try later; 5xx: the same request will be refused again.
  return Failed(Scrubbed(reply.Shown()), reply.code < 500);
}

void Dialogue::Quit() {
  SmtpReply ignored;
  if (link_.Send("QUIT\r\n")) replies_.Read(ignored);
}

bool Dialogue::Hello(SmtpReply& reply, bool allowHelo) {
  if (!Exchange("EHLO " + request_.helloName, reply)) return false;
  if (reply.code == 250) return true;
  if (allowHelo && reply.code >= 500 && reply.code <= 502) {
    if (!Exchange("HELO " + request_.helloName, reply)) return false;
    if (reply.code == 250) {
      reply.lines.resize(1);  // HELO offers no extensions
      return true;
    }
  }
  failure_ = Refused(reply);
  return false;
}

bool Dialogue::Authenticate(const Extensions& offered, SendOutcome& outcome) {
  if (!link_.Encrypted()) {
    Quit();
    outcome = Failed("连接没有加密，不发送密码", false);
    return false;
  }
  SmtpReply reply;
  bool answered = true;
  if (offered.authPlain) {
    const std::string credentials = std::string(1, '\0') + request_.user + '\0' + request_.password;
    answered = Exchange("AUTH PLAIN " + Base64Encode(credentials), reply);
  } else if (offered.authLogin) {
    answered = Exchange("AUTH LOGIN", reply) &&
               (reply.code != 334 || Exchange(Base64Encode(request_.user), reply)) &&
               (reply.code != 334 || Exchange(Base64Encode(request_.password), reply));
  } else {
    Quit();
    outcome = Failed("邮件服务器不提供 AUTH PLAIN 或 AUTH LOGIN 登录", false);
    return false;
  }
  if (!answered) {
    outcome = failure_;
    return false;
  }
  if (reply.code != 235) {
    outcome = Refused(reply);
    return false;
  }
  return true;
}

SendOutcome Dialogue::Run() {
  if (!IsPlainMailAddress(request_.from)) return Failed("发件人地址无效", false);
  if (request_.to.empty()) return Failed("没有收件人", false);
  for (const std::string& to : request_.to) {
    if (!IsPlainMailAddress(to)) return Failed("收件人地址无效：" + ShownText(to, 100), false);
  }
  SmtpReply reply;
  if (!Exchange("", reply)) return failure_;
  if (reply.code != 220) return Refused(reply);
  if (!Hello(reply, true)) return failure_;
  Extensions offered = ExtensionsOf(reply);

  if (request_.startTls && !link_.Encrypted()) {
    if (!offered.startTls) {
      Quit();
      return Failed("邮件服务器不提供 STARTTLS，不在未加密的连接上发送", false);
    }
    if (!Exchange("STARTTLS", reply)) return failure_;
    if (reply.code != 220) return Refused(reply);
    replies_.Discard();
    if (!link_.StartTls()) return Failed(Scrubbed(link_.Problem()), false);
    if (!Hello(reply, false)) return failure_;
    offered = ExtensionsOf(reply);
  }
  if (!link_.Encrypted()) {
    Quit();
    return Failed("连接没有加密，不发送", false);
  }

  SendOutcome outcome;
  if (!request_.user.empty() && !Authenticate(offered, outcome)) return outcome;

  if (!Exchange("MAIL FROM:<" + request_.from + ">", reply)) return failure_;
  if (reply.code != 250) return Refused(reply);
  std::string refusedRecipients;
  bool anyAccepted = false;
  SmtpReply firstRefusal;
  for (const std::string& to : request_.to) {
    if (!Exchange("RCPT TO:<" + to + ">", reply)) return failure_;
    if (reply.code == 250 || reply.code == 251) {
      anyAccepted = true;
      continue;
    }
    if (refusedRecipients.empty()) firstRefusal = reply;
    refusedRecipients += (refusedRecipients.empty() ? "" : "；") + to + " " + reply.Shown();
  }
  if (!anyAccepted) return Refused(firstRefusal);
  if (!Exchange("DATA", reply)) return failure_;
  if (reply.code != 354) return Refused(reply);
  if (!link_.Send(DotStuffed(request_.mail))) return Failed(Scrubbed(link_.Problem()), true);
  if (!Exchange("", reply)) return failure_;
  if (reply.code != 250) return Refused(reply);
  Quit();
  if (!refusedRecipients.empty()) {
    return SendOutcome{true, false,
                       ShownText(Scrubbed(std::string(kMailSent) + "，但收件人被拒绝：" + refusedRecipients), 600)};
  }
  return SendOutcome{true, false, kMailSent};
}

}  // namespace

SendOutcome RunSmtpDialogue(ISmtpLink& link, const SmtpRequest& request) {
  return Dialogue(link, request).Run();
}
