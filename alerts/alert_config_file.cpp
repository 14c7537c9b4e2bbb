#include "alerts/alert_config_file.h"

#include <nlohmann/json.hpp>

#include "alerts/address_mask.h"
#include "alerts/base64_text.h"

// The file: {"format": 1, "channels": [ {...}, ... ]}. Each channel has "name", "kind"
// ("wecom", "dingtalk", "feishu", "webhook", "email") and "enabled"; a robot or webhook its
// "webhook" address and "secret", a mail channel "smtpHost", "smtpPort", "security"
// ("implicit-tls", "starttls"), "smtpUser", "password", "from" and "to" (a list). The secret
// fields (a robot's address, which holds its key, its secret and the password) are written as
// "<field>Sealed": base64 of the sealed bytes; a plain "<field>" is taken as it is and wins over
// a sealed one. A sealed address is written with "webhookShown", its masked form, for a reader;
// the program ignores it. Fields the program does not know are ignored.

namespace {
using Json = nlohmann::ordered_json;

constexpr size_t kMaxChannels = 100;
constexpr size_t kMaxRecipients = 100;
constexpr size_t kMaxNameBytes = 200;
constexpr size_t kMaxFieldBytes = 4096;
constexpr size_t kMaxSealedChars = 32768;

struct KindName {
  ChannelKind kind;
  const char* name;
};
constexpr KindName kKinds[] = {{ChannelKind::WeCom, "wecom"},
                               {ChannelKind::DingTalk, "dingtalk"},
                               {ChannelKind::Feishu, "feishu"},
                               {ChannelKind::Webhook, "webhook"},
                               {ChannelKind::Email, "email"}};

class Reader {
 public:
  Reader(const Json& object, ISecretProtector& secrets, bool& hadPlain)
      : object_(object), secrets_(secrets), hadPlain_(hadPlain) {}

  bool ok() const { return ok_; }

  // An optional string field no longer than maxBytes.
  std::string Text(const char* name, size_t maxBytes = kMaxFieldBytes) {
    auto found = object_.find(name);
    if (found == object_.end() || found->is_null()) return {};
    if (!found->is_string() || found->get_ref<const std::string&>().size() > maxBytes) {
      ok_ = false;
      return {};
    }
    return found->get<std::string>();
  }

  // A secret: plain "<name>" (taken, and flagged for sealing) or "<name>Sealed".
  std::string Secret(const std::string& name) {
    std::string plain = Text(name.c_str());
    if (!plain.empty()) {
      hadPlain_ = true;
      return plain;
    }
    const std::string sealedText = Text((name + "Sealed").c_str(), kMaxSealedChars);
    if (sealedText.empty()) return {};
    std::string sealed;
    if (!Base64Decode(sealedText, sealed) || !secrets_.Unprotect(sealed, plain)) ok_ = false;
    return plain;
  }

  bool Flag(const char* name, bool otherwise) {
    auto found = object_.find(name);
    if (found == object_.end()) return otherwise;
    if (!found->is_boolean()) ok_ = false;
    return found->is_boolean() ? found->get<bool>() : otherwise;
  }

  int Number(const char* name, int otherwise, int lowest, int highest) {
    auto found = object_.find(name);
    if (found == object_.end()) return otherwise;
    if (!found->is_number_integer() || found->get<int64_t>() < lowest || found->get<int64_t>() > highest) {
      ok_ = false;
      return otherwise;
    }
    return static_cast<int>(found->get<int64_t>());
  }

  std::vector<std::string> List(const char* name) {
    std::vector<std::string> items;
    auto found = object_.find(name);
    if (found == object_.end()) return items;
    if (!found->is_array() || found->size() > kMaxRecipients) {
      ok_ = false;
      return items;
    }
    for (const Json& item : *found) {
      if (!item.is_string() || item.get_ref<const std::string&>().size() > kMaxFieldBytes) {
        ok_ = false;
        return {};
      }
      if (!item.get_ref<const std::string&>().empty()) items.push_back(item.get<std::string>());
    }
    return items;
  }

 private:
  const Json& object_;
  ISecretProtector& secrets_;
  bool& hadPlain_;
  bool ok_ = true;
};

bool ReadChannel(const Json& object, ISecretProtector& secrets, bool& hadPlain, AlertChannel& channel) {
  if (!object.is_object()) return false;
  Reader read(object, secrets, hadPlain);
  channel.name = read.Text("name", kMaxNameBytes);
  const std::string kind = read.Text("kind");
  bool known = false;
  for (const KindName& k : kKinds) {
    if (kind == k.name) {
      channel.kind = k.kind;
      known = true;
    }
  }
  if (!known || channel.name.empty()) return false;
  channel.enabled = read.Flag("enabled", true);
  if (channel.kind == ChannelKind::Email) {
    channel.smtpHost = read.Text("smtpHost", 255);
    const std::string security = read.Text("security");
    if (security == "starttls") {
      channel.security = MailSecurity::StartTls;
    } else if (security.empty() || security == "implicit-tls") {
      channel.security = MailSecurity::ImplicitTls;
    } else {
      return false;
    }
    channel.smtpPort = read.Number("smtpPort", channel.security == MailSecurity::StartTls ? 587 : 465, 1, 65535);
    channel.smtpUser = read.Text("smtpUser");
    channel.smtpPassword = read.Secret("password");
    channel.mailFrom = read.Text("from");
    channel.mailTo = read.List("to");
  } else {
    channel.webhookUrl = read.Secret("webhook");
    channel.secret = read.Secret("secret");
  }
  return read.ok();
}

bool Seal(ISecretProtector& secrets, Json& object, const char* name, const std::string& plain) {
  if (plain.empty()) return true;
  std::string sealed;
  if (!secrets.Protect(plain, sealed)) return false;
  object[std::string(name) + "Sealed"] = Base64Encode(sealed);
  return true;
}

}  // namespace

AlertConfigLoad ParseAlertConfig(const std::string& bytes, ISecretProtector& secrets, AlertConfig& config) {
  config = {};
  const Json file = Json::parse(bytes, nullptr, false);
  if (!file.is_object()) return AlertConfigLoad::Damaged;
  auto channels = file.find("channels");
  if (channels == file.end() || !channels->is_array() || channels->size() > kMaxChannels)
    return AlertConfigLoad::Damaged;
  for (const Json& item : *channels) {
    AlertChannel channel;
    if (!ReadChannel(item, secrets, config.hadPlainSecrets, channel)) {
      config = {};
      return AlertConfigLoad::Damaged;
    }
    config.channels.push_back(std::move(channel));
  }
  return AlertConfigLoad::Loaded;
}

bool SerialiseAlertConfig(const AlertConfig& config, ISecretProtector& secrets, std::string& bytes) {
  Json list = Json::array();
  for (const AlertChannel& channel : config.channels) {
    Json item = Json::object();
    item["name"] = channel.name;
    for (const KindName& k : kKinds)
      if (k.kind == channel.kind) item["kind"] = k.name;
    item["enabled"] = channel.enabled;
    if (channel.kind == ChannelKind::Email) {
      item["smtpHost"] = channel.smtpHost;
      item["smtpPort"] = channel.smtpPort;
      item["security"] = channel.security == MailSecurity::StartTls ? "starttls" : "implicit-tls";
      item["smtpUser"] = channel.smtpUser;
      if (!Seal(secrets, item, "password", channel.smtpPassword)) return false;
      item["from"] = channel.mailFrom;
      item["to"] = channel.mailTo;
    } else {
      if (!channel.webhookUrl.empty()) item["webhookShown"] = MaskWebhookAddress(channel.webhookUrl);
      if (!Seal(secrets, item, "webhook", channel.webhookUrl) ||
          !Seal(secrets, item, "secret", channel.secret))
        return false;
    }
    list.push_back(std::move(item));
  }
  Json file = Json::object();
  file["format"] = 1;
  file["channels"] = std::move(list);
  bytes = file.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  return true;
}
