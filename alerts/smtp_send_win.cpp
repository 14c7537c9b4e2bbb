#include "alerts/smtp_send_win.h"

#include <cstdio>
#include <memory>

#include "alerts/smtp_dialogue.h"
#include "alerts/smtp_message.h"
#include "alerts/smtp_reply.h"
#include "alerts/smtp_tls_win.h"
#include "base/utf16.h"
#include "base/wide_text_win.h"

namespace {

constexpr uint32_t kWaitMs = 30000;  // for the connection, and for each answer
constexpr char kSenderName[] = "Corvell网站监控";

class WinSmtpLink : public ISmtpLink {
 public:
  WinSmtpLink(const std::atomic<bool>& cancel, std::wstring host, std::string hostUtf8)
      : socket_(cancel, kWaitMs), host_(std::move(host)), hostUtf8_(std::move(hostUtf8)) {}

  bool Connect(int port) { return socket_.Connect(host_, port, problem_); }
  std::string LocalAddressLiteral() const { return socket_.LocalAddressLiteral(); }

  bool Send(std::string_view bytes) override {
    return tls_ ? tls_->Send(bytes, problem_) : socket_.SendAll(bytes, problem_);
  }
  int Receive(char* buffer, int size) override {
    return tls_ ? tls_->Receive(buffer, size, problem_) : socket_.ReceiveSome(buffer, size, problem_);
  }
  bool StartTls() override {
    auto session = std::make_unique<TlsSession>(socket_);
    if (!session->Handshake(host_, hostUtf8_, problem_)) return false;
    tls_ = std::move(session);
    return true;
  }
  bool Encrypted() const override { return tls_ != nullptr; }
  std::string Problem() const override { return problem_; }

 private:
  SmtpSocket socket_;
  std::unique_ptr<TlsSession> tls_;
  std::wstring host_;
  std::string hostUtf8_;
  std::string problem_;
};

MailTime NowUtc() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  return MailTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::string UniquePart() {
  // Time, process and a count: unique for every mail this machine sends.
  static std::atomic<unsigned> sent{0};
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  char text[80];
  std::snprintf(text, sizeof text, "%08lx%08lx.%lx.%x.corvell", static_cast<unsigned long>(now.dwHighDateTime),
                static_cast<unsigned long>(now.dwLowDateTime), static_cast<unsigned long>(::GetCurrentProcessId()),
                sent.fetch_add(1));
  return text;
}

SendOutcome NotSet(const char* what) { return SendOutcome{false, false, std::string("邮件设置不完整：") + what}; }

}  // namespace

SendOutcome SendMailOverSmtp(const AlertChannel& channel, const AlertMessage& message,
                             const std::atomic<bool>& cancel) {
  if (channel.smtpHost.empty()) return NotSet("没有邮件服务器");
  if (channel.smtpPort < 1 || channel.smtpPort > 65535) return NotSet("端口无效");
  if (channel.mailFrom.empty()) return NotSet("没有发件人");
  if (channel.mailTo.empty()) return NotSet("没有收件人");

  const std::wstring host(AsWide(U16FromUtf8(channel.smtpHost).c_str()));
  const std::string where = ShownText(channel.smtpHost, 200) + ":" + std::to_string(channel.smtpPort);
  WinSmtpLink link(cancel, host, channel.smtpHost);
  if (!link.Connect(channel.smtpPort)) return SendOutcome{false, true, link.Problem() + " " + where};
  if (channel.security == MailSecurity::ImplicitTls && !link.StartTls()) {
    return SendOutcome{false, false, link.Problem()};
  }

  MailParts parts;
  parts.senderName = kSenderName;
  parts.from = channel.mailFrom;
  parts.to = channel.mailTo;
  parts.subject = message.subject;
  parts.body = message.text;
  parts.date = NowUtc();
  parts.uniquePart = UniquePart();

  SmtpRequest request;
  request.helloName = link.LocalAddressLiteral();
  request.startTls = channel.security == MailSecurity::StartTls;
  request.user = channel.smtpUser;
  request.password = channel.smtpPassword;
  request.from = channel.mailFrom;
  request.to = channel.mailTo;
  request.mail = ComposeMail(parts);
  return RunSmtpDialogue(link, request);
}
