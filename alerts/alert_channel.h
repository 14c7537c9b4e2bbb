#pragma once
// The alert channels a user sets up, the message one alert becomes, and the outcome of one send.
// Text here is UTF-8: the stored file, the robots' JSON and the mail are all UTF-8.
#include <cstdint>
#include <string>
#include <vector>

enum class ChannelKind { WeCom, DingTalk, Feishu, Webhook, Email };

// How the mail connection is secured: TLS from the first byte (465) or STARTTLS (587).
enum class MailSecurity { ImplicitTls, StartTls };

struct AlertChannel {
  std::string name;  // the user's own name for it
  ChannelKind kind = ChannelKind::WeCom;
  bool enabled = true;

  // The robots and the webhook. The 企业微信 key and the 钉钉/飞书 access token are part of the
  // address; `secret` is the 钉钉 加签 secret or the 飞书 signature secret, empty when none.
  std::string webhookUrl;
  std::string secret;

  // E-mail.
  std::string smtpHost;
  int smtpPort = 465;
  MailSecurity security = MailSecurity::ImplicitTls;
  std::string smtpUser;
  std::string smtpPassword;  // often the mail service's app password (授权码)
  std::string mailFrom;
  std::vector<std::string> mailTo;
};

// One message for every channel: a robot or webhook shows `text`; a mail uses `subject` as its
// subject and `text` as its body. `fields` is the webhook's JSON object (serialised), written by
// the engine so that every channel tells the same story.
struct AlertMessage {
  std::string subject;
  std::string text;
  std::string webhookFields;
};

// What became of one send, in plain words for the dialog, the console and the run log. `detail`
// never holds a secret: an address shows with its key masked.
struct SendOutcome {
  bool delivered = false;
  bool worthRetrying = true;  // false when trying again cannot help (a refused key, a bad address)
  std::string detail;         // "已发送", the HTTP status, the robot's error text, the SMTP reply line…
};
