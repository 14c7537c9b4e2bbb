// The "告警通知" dialog's decisions: what a typed form makes of a channel, and what the list shows.
#include <gtest/gtest.h>

#include "shell/alerts_form.h"

namespace {

ChannelForm MailForm() {
  ChannelForm form;
  form.name = "值班邮箱";
  form.kind = ChannelKind::Email;
  form.host = "smtp.example.com";
  form.port = "587";
  form.security = MailSecurity::StartTls;
  form.user = "ops@example.com";
  form.password = " app pass ";
  form.from = "ops@example.com";
  form.recipients = "a@example.com；b@example.com, c@example.com";
  return form;
}

TEST(AlertsFormTest, AFormMakesAChannelOfItsKindOnlyAndKeepsItsEnabledState) {
  AlertChannel channel;
  channel.enabled = false;
  channel.webhookUrl = "https://old.example/?key=stale";
  ASSERT_EQ(ChannelFromForm(MailForm(), {}, channel), "");
  EXPECT_FALSE(channel.enabled);
  EXPECT_EQ(channel.kind, ChannelKind::Email);
  EXPECT_EQ(channel.smtpPort, 587);
  EXPECT_EQ(channel.smtpPassword, " app pass ");  // blanks of a password are its own
  EXPECT_EQ(channel.mailTo, (std::vector<std::string>{"a@example.com", "b@example.com", "c@example.com"}));
  EXPECT_EQ(channel.webhookUrl, "");  // nothing of another kind is kept

  // Back to the form and again: the same channel.
  AlertChannel again;
  again.enabled = false;
  ASSERT_EQ(ChannelFromForm(FormOf(channel), {}, again), "");
  EXPECT_EQ(again.mailTo, channel.mailTo);
  EXPECT_EQ(again.smtpHost, channel.smtpHost);

  ChannelForm robot;
  robot.name = " 运维群 ";
  robot.kind = ChannelKind::WeCom;
  robot.address = "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=abc";
  robot.secret = "not for this kind";
  ASSERT_EQ(ChannelFromForm(robot, {}, channel), "");
  EXPECT_EQ(channel.name, "运维群");
  EXPECT_EQ(channel.secret, "");  // 企业微信 has no secret: none is stored for it
  EXPECT_EQ(channel.smtpHost, "");
  robot.kind = ChannelKind::DingTalk;
  ASSERT_EQ(ChannelFromForm(robot, {}, channel), "");
  EXPECT_EQ(channel.secret, "not for this kind");
}

TEST(AlertsFormTest, AFormThatMakesNoChannelSaysWhyAndLeavesTheChannelAsItWas) {
  struct Case {
    void (*spoil)(ChannelForm&);
    const char* reason;
  };
  const Case cases[] = {
      {[](ChannelForm& f) { f.name = "  "; }, "请填写通道名称"},
      {[](ChannelForm& f) { f.name = "旧通道"; }, "已有同名的通道：旧通道"},
      {[](ChannelForm& f) { f.port = "0"; }, "端口应为 1 到 65535 之间的数字"},
      {[](ChannelForm& f) { f.port = "65536"; }, "端口应为 1 到 65535 之间的数字"},
      {[](ChannelForm& f) { f.port = "58x"; }, "端口应为 1 到 65535 之间的数字"},
      {[](ChannelForm& f) { f.from = "ops"; }, "发件人地址不正确"},
      {[](ChannelForm& f) { f.recipients = " ,; "; }, "请填写收件人"},
      // A line break in an address would end a mail header and start another.
      {[](ChannelForm& f) { f.recipients = "a@example.com\r\nBcc: x@evil.example"; }, "收件人地址不正确：Bcc:"},
      {[](ChannelForm& f) { f.from = "ops@example.com\r\nBcc: x@evil.example"; }, "发件人地址不正确"},
      {[](ChannelForm& f) { f.password = "pass\r\nQUIT"; }, "用户名和密码不能含有换行等控制字符"},
      {[](ChannelForm& f) { f.kind = ChannelKind::Webhook; f.address = "ftp://x"; },
       "地址应以 http:// 或 https:// 开头，且不含空格"},
      {[](ChannelForm& f) { f.kind = ChannelKind::Feishu; f.address = "https:///path"; },
       "地址应以 http:// 或 https:// 开头，且不含空格"},
      {[](ChannelForm& f) { f.kind = ChannelKind::Feishu; f.address = ""; }, "请填写地址"},
  };
  AlertChannel other;
  other.name = "旧通道";
  for (const Case& c : cases) {
    ChannelForm form = MailForm();
    c.spoil(form);
    AlertChannel channel;
    channel.name = "unchanged";
    EXPECT_EQ(ChannelFromForm(form, {other}, channel), c.reason);
    EXPECT_EQ(channel.name, "unchanged");
  }
}

TEST(AlertsFormTest, TheListShowsAddressesWithoutTheirKeysOrPasswords) {
  AlertChannel robot;
  robot.name = "运维群";
  robot.webhookUrl = "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=693a91f6-7xxx-4bc4-97a0-0ec2sifa5aaa";
  EXPECT_EQ(RowOf(robot).address, "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=693a****");
  EXPECT_EQ(RowOf(robot).kind, "企业微信");
  EXPECT_EQ(RowOf(robot).state, "启用");

  AlertChannel mail;
  ChannelFromForm(MailForm(), {}, mail);
  mail.enabled = false;
  const ChannelRow row = RowOf(mail);
  EXPECT_EQ(row.kind, "邮件");
  EXPECT_EQ(row.state, "停用");
  EXPECT_EQ(row.address, "smtp.example.com:587 → a@example.com, b@example.com, c@example.com");
  EXPECT_EQ(row.address.find("app pass"), std::string::npos);
}

TEST(AlertsFormTest, ANewChannelGetsTheFirstFreeName) {
  std::vector<AlertChannel> channels(2);
  channels[0].name = "通道1";
  channels[1].name = "通道3";
  EXPECT_EQ(UnusedChannelName(channels), "通道2");
}

}  // namespace
