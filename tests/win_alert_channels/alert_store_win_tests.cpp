#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "alerts/alert_config_store_win.h"
#include "alerts/channel_sender_win.h"
#include "alerts/hmac_sha256_win.h"
#include "tests/support/loopback_http_server_win.h"
#include "tests/support/test_files.h"

using sitemon_test::LoopbackHttpServer;
using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

AlertChannel DingTalk(const std::string& url) {
  AlertChannel channel;
  channel.name = "钉钉";
  channel.kind = ChannelKind::DingTalk;
  channel.webhookUrl = url;
  channel.secret = "SECwinsecret123";
  return channel;
}

class AlertFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()); }
  TempFolder folder_;
  const std::wstring path_ = folder_.File(L"alerts.json").wstring();
};

TEST_F(AlertFile, SecretsAreSealedForTheUserAndAPlainOneIsSealedAtLoad) {
  AlertConfig config;
  config.channels = {DingTalk("https://oapi.dingtalk.com/robot/send?access_token=tokenWin42")};
  ASSERT_TRUE(SaveAlertConfigFile(path_, config));
  std::string stored = ReadBytes(path_);
  EXPECT_EQ(stored.find("tokenWin42"), std::string::npos) << stored;
  EXPECT_EQ(stored.find("SECwinsecret123"), std::string::npos) << stored;
  EXPECT_FALSE(fs::exists(path_ + L".tmp"));

  AlertConfig back;
  std::wstring aside = L"unset";
  ASSERT_EQ(LoadAlertConfigFile(path_, back, &aside), AlertConfigLoad::Loaded);
  EXPECT_TRUE(aside.empty());
  ASSERT_EQ(back.channels.size(), 1u);
  EXPECT_EQ(back.channels[0].webhookUrl, config.channels[0].webhookUrl);
  EXPECT_EQ(back.channels[0].secret, "SECwinsecret123");

  // Written by hand in plain text: taken, and the file holds it sealed from then on.
  ASSERT_TRUE(WriteBytes(path_, R"({"channels":[{"name":"m","kind":"email","smtpHost":"h","password":"pw-plain-9"}]})"));
  ASSERT_EQ(LoadAlertConfigFile(path_, back, &aside), AlertConfigLoad::Loaded);
  EXPECT_EQ(back.channels.at(0).smtpPassword, "pw-plain-9");
  stored = ReadBytes(path_);
  EXPECT_EQ(stored.find("pw-plain-9"), std::string::npos) << stored;
  ASSERT_EQ(LoadAlertConfigFile(path_, back, nullptr), AlertConfigLoad::Loaded);
  EXPECT_EQ(back.channels.at(0).smtpPassword, "pw-plain-9");
}

TEST_F(AlertFile, ADamagedFileIsSetAsideAndAFailedSaveLeavesTheFileAsItWas) {
  AlertConfig config;
  std::wstring aside;
  EXPECT_EQ(LoadAlertConfigFile(path_, config, &aside), AlertConfigLoad::Missing);

  for (const char* damaged : {"{\"channels\": [", "{\"channels\": []"}) {  // two in the same second
    ASSERT_TRUE(WriteBytes(path_, damaged));
    config.channels.resize(1);
    ASSERT_EQ(LoadAlertConfigFile(path_, config, &aside), AlertConfigLoad::Damaged);
    EXPECT_TRUE(config.channels.empty());
    EXPECT_FALSE(fs::exists(path_));
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(aside.rfind(path_ + L".damaged-", 0), 0u);
    EXPECT_EQ(ReadBytes(aside), damaged);
  }

  config.channels = {DingTalk("https://oapi.dingtalk.com/robot/send?access_token=t")};
  ASSERT_TRUE(WriteBytes(path_, "kept"));
  ASSERT_TRUE(::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(SaveAlertConfigFile(path_, config));
  ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadBytes(path_), "kept");
}

TEST(BCryptHmac, KnownAnswer) {
  // RFC 4231, test case 2.
  BCryptHmacSha256 hmac;
  std::string mac;
  ASSERT_TRUE(hmac.Compute("Jefe", "what do ya want for nothing?", mac));
  std::string hex;
  for (unsigned char c : mac) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  EXPECT_EQ(hex, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(WinChannelSender, PostsTheBodyReadsTheAnswerAndGivesUpInTime) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply("/ok", sitemon_test::StatusReply(200, "OK", "Content-Type: application/json\r\n",
                                                   R"({"errcode":0,"errmsg":"ok"})"));
  server.SetReply("/refused", sitemon_test::StatusReply(200, "OK", "", R"({"errcode":310000,"errmsg":"keywords not in content"})"));
  server.SetReply("/echo", sitemon_test::StatusReply(200, "OK", "", R"({"errcode":300001,"errmsg":"token tokWin77 is not exist"})"));
  server.SetReply("/hang", sitemon_test::NeverAnswer());
  AlertMessage message;
  message.text = "Corvell网站监控 测试";
  std::atomic<bool> cancel{false};
  WinChannelSender sender(3000);

  SendOutcome outcome = sender.Send(DingTalk(server.Url("/ok?access_token=tok")), message, cancel);
  EXPECT_TRUE(outcome.delivered) << outcome.detail;
  ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(10)));
  const auto request = server.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target.rfind("/ok?access_token=tok&timestamp=", 0), 0u) << request.target;
  EXPECT_NE(request.target.find("&sign="), std::string::npos);
  EXPECT_EQ(request.body, R"({"msgtype":"text","text":{"content":"Corvell网站监控 测试"}})");
  EXPECT_EQ(request.Header("Content-Type"), "application/json; charset=utf-8");

  outcome = sender.Send(DingTalk(server.Url("/refused?access_token=tok")), message, cancel);
  EXPECT_FALSE(outcome.delivered);
  EXPECT_FALSE(outcome.worthRetrying);
  EXPECT_NE(outcome.detail.find("keywords not in content"), std::string::npos) << outcome.detail;
  // A robot's text that repeats the token shows it masked.
  outcome = sender.Send(DingTalk(server.Url("/echo?access_token=tokWin77")), message, cancel);
  EXPECT_EQ(outcome.detail.find("tokWin77"), std::string::npos) << outcome.detail;
  EXPECT_NE(outcome.detail.find("300001"), std::string::npos) << outcome.detail;

  // A receiver that never answers: the time limit, and a cancel well before it.
  auto started = std::chrono::steady_clock::now();
  outcome = sender.Send(DingTalk(server.Url("/hang?access_token=tok")), message, cancel);
  EXPECT_FALSE(outcome.delivered);
  EXPECT_TRUE(outcome.worthRetrying);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
  WinChannelSender patient(60000);
  std::thread raise([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  started = std::chrono::steady_clock::now();
  outcome = patient.Send(DingTalk(server.Url("/hang?access_token=tok")), message, cancel);
  raise.join();
  EXPECT_EQ(outcome.detail, "已取消");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
