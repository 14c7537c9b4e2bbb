#include <gtest/gtest.h>

#include <string>

#include "alerts/alert_config_file.h"

namespace {

// Seals by flipping every byte behind a marker, so no plain secret survives in the output and a
// blob that was not sealed here does not open.
class FakeProtector : public ISecretProtector {
 public:
  bool refuseProtect = false;
  bool Protect(const std::string& plain, std::string& sealed) override {
    if (refuseProtect) return false;
    sealed = "S:";
    for (char c : plain) sealed += static_cast<char>(c ^ 0x5A);
    return true;
  }
  bool Unprotect(const std::string& sealed, std::string& plain) override {
    if (sealed.rfind("S:", 0) != 0) return false;
    plain.clear();
    for (char c : sealed.substr(2)) plain += static_cast<char>(c ^ 0x5A);
    return true;
  }
};

AlertChannel Robot(const char* name, ChannelKind kind, bool enabled, const char* url, const char* secret) {
  AlertChannel channel;
  channel.name = name;
  channel.kind = kind;
  channel.enabled = enabled;
  channel.webhookUrl = url;
  channel.secret = secret;
  return channel;
}

AlertConfig EveryKind() {
  AlertConfig config;
  AlertChannel wecom = Robot("运维群", ChannelKind::WeCom, true,
                             "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=693axxx6-7aoc-4bc4-97a0-0ec2sifa5aaa", "");
  AlertChannel ding = Robot("钉钉值班", ChannelKind::DingTalk, false,
                            "https://oapi.dingtalk.com/robot/send?access_token=0f9e8d7c6b5a", "SECding0123456789");
  AlertChannel feishu = Robot("飞书", ChannelKind::Feishu, true,
                              "https://open.feishu.cn/open-apis/bot/v2/hook/feishutoken-0000-1111", "feishuSecretX");
  AlertChannel hook = Robot("自建", ChannelKind::Webhook, true, "https://hooks.example.test/alert?token=hooktoken77", "");
  AlertChannel mail = Robot("邮件", ChannelKind::Email, true, "", "");
  mail.smtpHost = "smtp.example.test";
  mail.smtpPort = 587;
  mail.security = MailSecurity::StartTls;
  mail.smtpUser = "ops@example.test";
  mail.smtpPassword = "authcode-pw-42";
  mail.mailFrom = "ops@example.test";
  mail.mailTo = {"a@example.test", "b@example.test"};
  config.channels = {wecom, ding, feishu, hook, mail};
  return config;
}

bool Same(const AlertChannel& a, const AlertChannel& b) {
  return a.name == b.name && a.kind == b.kind && a.enabled == b.enabled && a.webhookUrl == b.webhookUrl &&
         a.secret == b.secret && a.smtpHost == b.smtpHost && a.smtpPort == b.smtpPort &&
         a.security == b.security && a.smtpUser == b.smtpUser && a.smtpPassword == b.smtpPassword &&
         a.mailFrom == b.mailFrom && a.mailTo == b.mailTo;
}

TEST(AlertConfigFile, EveryKindRoundTripsWithNoSecretInPlainText) {
  FakeProtector secrets;
  const AlertConfig config = EveryKind();
  std::string bytes;
  ASSERT_TRUE(SerialiseAlertConfig(config, secrets, bytes));
  for (const char* secret : {"693axxx6-7aoc-4bc4-97a0-0ec2sifa5aaa", "0f9e8d7c6b5a", "SECding0123456789",
                             "feishutoken-0000-1111", "feishuSecretX", "hooktoken77", "authcode-pw-42"})
    EXPECT_EQ(bytes.find(secret), std::string::npos) << secret << " in\n" << bytes;
  // The address shows masked for a reader of the file.
  EXPECT_NE(bytes.find("https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=693a****"), std::string::npos);

  AlertConfig back;
  ASSERT_EQ(ParseAlertConfig(bytes, secrets, back), AlertConfigLoad::Loaded);
  EXPECT_FALSE(back.hadPlainSecrets);
  ASSERT_EQ(back.channels.size(), config.channels.size());
  for (size_t i = 0; i < config.channels.size(); ++i)
    EXPECT_TRUE(Same(back.channels[i], config.channels[i])) << "channel " << i;

  secrets.refuseProtect = true;
  std::string refused = "untouched";
  EXPECT_FALSE(SerialiseAlertConfig(config, secrets, refused));
}

TEST(AlertConfigFile, PlainSecretsWrittenByHandAreTakenAndFlagged) {
  FakeProtector secrets;
  // A file as an administrator writes it (with the BOM Notepad puts first), fields we do not know
  // ignored; a plain secret wins over a sealed one beside it.
  const std::string file = "\xEF\xBB\xBF" R"({"channels": [
    {"name": "钉钉", "kind": "dingtalk", "webhook": "https://oapi.dingtalk.com/robot/send?access_token=abc",
     "secret": "SECplain", "secretSealed": "UzpvbGQ=", "colour": "red"},
    {"name": "mail", "kind": "email", "smtpHost": "smtp.qq.com", "password": "授权码", "to": ["x@qq.com", ""]}]})";
  AlertConfig config;
  ASSERT_EQ(ParseAlertConfig(file, secrets, config), AlertConfigLoad::Loaded);
  EXPECT_TRUE(config.hadPlainSecrets);
  ASSERT_EQ(config.channels.size(), 2u);
  EXPECT_EQ(config.channels[0].webhookUrl, "https://oapi.dingtalk.com/robot/send?access_token=abc");
  EXPECT_EQ(config.channels[0].secret, "SECplain");
  EXPECT_TRUE(config.channels[0].enabled);
  EXPECT_EQ(config.channels[1].smtpPassword, "授权码");
  EXPECT_EQ(config.channels[1].smtpPort, 465);
  EXPECT_EQ(config.channels[1].security, MailSecurity::ImplicitTls);
  EXPECT_EQ(config.channels[1].mailTo, std::vector<std::string>{"x@qq.com"});

  std::string saved;
  ASSERT_TRUE(SerialiseAlertConfig(config, secrets, saved));
  EXPECT_EQ(saved.find("SECplain"), std::string::npos);
  EXPECT_EQ(saved.find("授权码"), std::string::npos);
}

TEST(AlertConfigFile, DamagedShapesAndHostileBytesAreRejectedWhole) {
  FakeProtector secrets;
  const std::string good = R"({"name":"a","kind":"wecom","webhook":"https://h/x"})";
  const std::string cases[] = {
      "", "not json", "[]", "{}", R"({"channels": {}})", R"({"channels": [1]})",
      R"({"channels": [{"name":"a","kind":"sms"}]})",
      R"({"channels": [{"kind":"wecom"}]})",
      R"({"channels": [{"name":"a","kind":"wecom","enabled":"yes"}]})",
      R"({"channels": [{"name":7,"kind":"wecom"}]})",
      R"({"channels": [{"name":"m","kind":"email","smtpPort":70000}]})",
      R"({"channels": [{"name":"m","kind":"email","security":"ssl3"}]})",
      R"({"channels": [{"name":"m","kind":"email","to":"x@y"}]})",
      R"({"channels": [{"name":"a","kind":"wecom","webhookSealed":"%%%%"}]})",
      R"({"channels": [{"name":"a","kind":"wecom","webhookSealed":"bm90IHNlYWxlZA=="}]})",
      "{\"channels\": [{\"name\":\"\xFF\xFE\",\"kind\":\"wecom\"}]}",
      R"({"channels": [{"name":")" + std::string(5000, 'n') + R"(","kind":"wecom"}]})",
      R"({"channels": [)" + good + "," + R"({"name":"b","kind":"wecom","webhook":)",
      std::string(200000, '[') + std::string(200000, ']'),
  };
  for (const std::string& bytes : cases) {
    AlertConfig config;
    config.channels.resize(1);
    EXPECT_EQ(ParseAlertConfig(bytes, secrets, config), AlertConfigLoad::Damaged) << bytes.substr(0, 120);
    EXPECT_TRUE(config.channels.empty());
  }
  std::string many = R"({"channels": [)";
  for (int i = 0; i < 101; ++i) many += (i ? "," : "") + good;
  AlertConfig config;
  EXPECT_EQ(ParseAlertConfig(many + "]}", secrets, config), AlertConfigLoad::Damaged);
  EXPECT_EQ(ParseAlertConfig(R"({"channels": [)" + good + "]}", secrets, config), AlertConfigLoad::Loaded);
}

}  // namespace
