#pragma once
// The "告警通知" dialog's decisions, without the window: the kinds as the dialog names them, the
// fields of one channel as typed and whether they make a channel, and the list's rows (an
// address shows without its user name, password or key). Text is UTF-8, as in AlertChannel.
#include <string>
#include <vector>

#include "alerts/alert_channel.h"

// The kinds in the order of the dialog's kind list.
inline constexpr ChannelKind kDialogKinds[] = {ChannelKind::WeCom, ChannelKind::DingTalk, ChannelKind::Feishu,
                                               ChannelKind::Webhook, ChannelKind::Email};

// "企业微信", "钉钉", "飞书", "Webhook", "邮件".
const char* ChannelKindName(ChannelKind kind);
// Position of `kind` in kDialogKinds.
int KindIndex(ChannelKind kind);
// Which fields the dialog shows for a kind.
bool KindHasAddress(ChannelKind kind);  // the robots and the webhook
bool KindHasSecret(ChannelKind kind);   // 钉钉 加签, 飞书 signature
// 465 for implicit TLS, 587 for STARTTLS.
int DefaultMailPort(MailSecurity security);

// The dialog's fields as typed.
struct ChannelForm {
  std::string name;
  ChannelKind kind = ChannelKind::WeCom;
  std::string address;
  std::string secret;
  std::string host;
  std::string port;
  MailSecurity security = MailSecurity::ImplicitTls;
  std::string user;
  std::string password;
  std::string from;
  std::string recipients;  // separated by commas, semicolons or blanks
};

ChannelForm FormOf(const AlertChannel& channel);

// Makes `channel` of the form (keeping its enabled state): empty when it did, else what is wrong,
// in words for the dialog. Only the fields of the form's kind are looked at and kept; the others
// are cleared, so no stale secret of another kind is stored. `others` are the other channels of
// the list, whose names this one may not take.
std::string ChannelFromForm(const ChannelForm& form, const std::vector<AlertChannel>& others,
                            AlertChannel& channel);

// The recipients of a typed list: split at commas, semicolons (ASCII or full-width) and blanks,
// empty pieces dropped.
std::vector<std::string> SplitRecipients(const std::string& typed);

// One row of the channel list.
struct ChannelRow {
  std::string name;
  std::string kind;
  std::string state;    // "启用" or "停用"
  std::string address;  // key masked (MaskWebhookAddress); for e-mail "server:port → recipients"
};
ChannelRow RowOf(const AlertChannel& channel);

// A name no channel of the list has yet: "通道1", "通道2", ...
std::string UnusedChannelName(const std::vector<AlertChannel>& channels);
