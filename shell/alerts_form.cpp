#include "shell/alerts_form.h"

#include "alerts/address_mask.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

namespace {

std::string Trimmed(const std::string& text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool HasBlank(const std::string& text) {
  return text.find_first_of(" \t") != std::string::npos;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// A mail address as far as a form can tell: something, "@", a domain with a dot or a name.
bool LooksLikeMailAddress(const std::string& address) {
  const size_t at = address.find('@');
  return at != std::string::npos && at > 0 && at + 1 < address.size() && address.find('@', at + 1) == std::string::npos &&
         !HasBlank(address) && address.find_first_of("<>\",;") == std::string::npos;
}

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = value;
  return true;
}

std::string CheckWebAddress(const std::string& address) {
  const bool http = StartsWithNoCase(address, "http://");
  const bool https = StartsWithNoCase(address, "https://");
  const size_t hostAt = https ? 8 : 7;
  if ((!http && !https) || address.size() <= hostAt || address[hostAt] == '/' || HasBlank(address)) {
    return "地址应以 http:// 或 https:// 开头，且不含空格";
  }
  return {};
}

}  // namespace

const char* ChannelKindName(ChannelKind kind) {
  switch (kind) {
    case ChannelKind::WeCom: return "企业微信";
    case ChannelKind::DingTalk: return "钉钉";
    case ChannelKind::Feishu: return "飞书";
    case ChannelKind::Webhook: return "Webhook";
    case ChannelKind::Email: return "邮件";
  }
  return "";
}

int KindIndex(ChannelKind kind) {
  for (size_t i = 0; i < std::size(kDialogKinds); ++i) {
    if (kDialogKinds[i] == kind) return static_cast<int>(i);
  }
  return 0;
}

bool KindHasAddress(ChannelKind kind) { return kind != ChannelKind::Email; }

bool KindHasSecret(ChannelKind kind) { return kind == ChannelKind::DingTalk || kind == ChannelKind::Feishu; }

int DefaultMailPort(MailSecurity security) { return security == MailSecurity::StartTls ? 587 : 465; }

ChannelForm FormOf(const AlertChannel& channel) {
  ChannelForm form;
  form.name = channel.name;
  form.kind = channel.kind;
  form.address = channel.webhookUrl;
  form.secret = channel.secret;
  form.host = channel.smtpHost;
  form.port = std::to_string(channel.smtpPort);
  form.security = channel.security;
  form.user = channel.smtpUser;
  form.password = channel.smtpPassword;
  form.from = channel.mailFrom;
  for (const std::string& to : channel.mailTo) form.recipients += (form.recipients.empty() ? "" : ", ") + to;
  return form;
}

std::vector<std::string> SplitRecipients(const std::string& typed) {
  // The full-width comma and semicolon and the enumeration comma, as a Chinese keyboard types
  // them, separate too.
  static const std::string_view kWideSeparators[] = {"\xEF\xBC\x8C", "\xEF\xBC\x9B", "\xE3\x80\x81"};
  std::vector<std::string> recipients;
  std::string piece;
  const std::string_view text(typed);
  for (size_t at = 0; at <= text.size();) {
    size_t separator = 0;
    if (at == text.size() || std::string_view(",; \t\r\n").find(text[at]) != std::string_view::npos) {
      separator = 1;
    } else {
      for (std::string_view wide : kWideSeparators) {
        if (text.substr(at, wide.size()) == wide) separator = wide.size();
      }
    }
    if (separator == 0) {
      piece.push_back(text[at++]);
      continue;
    }
    if (!piece.empty()) recipients.push_back(piece);
    piece.clear();
    at += separator;
  }
  return recipients;
}

std::string ChannelFromForm(const ChannelForm& form, const std::vector<AlertChannel>& others,
                            AlertChannel& channel) {
  AlertChannel made;
  made.enabled = channel.enabled;
  made.kind = form.kind;
  made.name = Trimmed(form.name);
  if (made.name.empty()) return "请填写通道名称";
  if (HasControlCharacter(made.name)) return "通道名称不能含有换行等控制字符";
  for (const AlertChannel& other : others) {
    if (other.name == made.name) return "已有同名的通道：" + made.name;
  }
  if (KindHasAddress(form.kind)) {
    made.webhookUrl = Trimmed(form.address);
    if (made.webhookUrl.empty()) return "请填写地址";
    if (HasControlCharacter(made.webhookUrl)) return "地址不能含有换行等控制字符";
    if (std::string problem = CheckWebAddress(made.webhookUrl); !problem.empty()) return problem;
    if (KindHasSecret(form.kind)) {
      made.secret = Trimmed(form.secret);
      if (HasControlCharacter(made.secret)) return "密钥不能含有换行等控制字符";
    }
  } else {
    made.smtpHost = Trimmed(form.host);
    if (made.smtpHost.empty()) return "请填写邮件服务器";
    if (HasControlCharacter(made.smtpHost) || HasBlank(made.smtpHost)) return "邮件服务器不能含有空格或控制字符";
    if (!ParsePort(Trimmed(form.port), made.smtpPort)) return "端口应为 1 到 65535 之间的数字";
    made.security = form.security;
    made.smtpUser = Trimmed(form.user);
    made.smtpPassword = form.password;  // a password may begin or end with a blank
    if (HasControlCharacter(made.smtpUser) || HasControlCharacter(made.smtpPassword)) {
      return "用户名和密码不能含有换行等控制字符";
    }
    made.mailFrom = Trimmed(form.from);
    if (!LooksLikeMailAddress(made.mailFrom) || HasControlCharacter(made.mailFrom)) return "发件人地址不正确";
    made.mailTo = SplitRecipients(form.recipients);
    if (made.mailTo.empty()) return "请填写收件人";
    for (const std::string& to : made.mailTo) {
      if (!LooksLikeMailAddress(to) || HasControlCharacter(to)) return "收件人地址不正确：" + to;
    }
  }
  channel = std::move(made);
  return {};
}

ChannelRow RowOf(const AlertChannel& channel) {
  ChannelRow row;
  row.name = channel.name;
  row.kind = ChannelKindName(channel.kind);
  row.state = channel.enabled ? "启用" : "停用";
  if (KindHasAddress(channel.kind)) {
    if (!channel.webhookUrl.empty()) row.address = MaskWebhookAddress(channel.webhookUrl);
  } else {
    row.address = channel.smtpHost + ":" + std::to_string(channel.smtpPort) + " → ";
    for (size_t i = 0; i < channel.mailTo.size(); ++i) row.address += (i ? ", " : "") + channel.mailTo[i];
  }
  return row;
}

std::string UnusedChannelName(const std::vector<AlertChannel>& channels) {
  for (size_t number = 1;; ++number) {
    const std::string name = "通道" + std::to_string(number);
    if (std::none_of(channels.begin(), channels.end(), [&](const AlertChannel& c) { return c.name == name; })) {
      return name;
    }
  }
}
