// The SMTP dialogue against a scripted server: what the client sends at each step, and what
// becomes of every kind of answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "alerts/smtp_dialogue.h"
#include "alerts/smtp_message.h"

namespace {

// A server that answers each command line by its verb from `replies`, and hands its bytes over a
// few at a time so that the client must put lines and replies together itself.
class ScriptedServer : public ISmtpLink {
 public:
  std::string greeting = "220 mail.test ESMTP\r\n";
  std::map<std::string, std::string> replies = {
      {"EHLO", "250-mail.test\r\n250-STARTTLS\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n"},
      {"HELO", "250 mail.test\r\n"},
      {"STARTTLS", "220 go ahead\r\n"},
      {"AUTH", "235 ok\r\n"},
      {"LOGIN", "334 VXNlcm5hbWU6\r\n"},  // to "AUTH LOGIN", then to the user name
      {"PASSWORD", "235 ok\r\n"},
      {"MAIL", "250 ok\r\n"},
      {"RCPT", "250 ok\r\n"},
      {"DATA", "354 go on\r\n"},
      {".", "250 queued\r\n"},
      {"QUIT", "221 bye\r\n"}};
  std::map<std::string, std::string> recipientReplies;  // by address, over "RCPT"
  bool encrypted = false;
  bool handshakeWorks = true;
  std::vector<std::string> commands;
  std::string data;  // what came between DATA's 354 and the final dot, as sent

  bool Send(std::string_view bytes) override {
    received_.append(bytes);
    for (std::size_t end; (end = received_.find("\r\n")) != std::string::npos;) {
      const std::string line = received_.substr(0, end);
      received_.erase(0, end + 2);
      if (inData_) {
        data += line + "\r\n";
        if (line == ".") {
          inData_ = false;
          pending_ += replies["."];
        }
        continue;
      }
      commands.push_back(line);
      pending_ += Answer(line);
    }
    return true;
  }
  int Receive(char* buffer, int size) override {
    if (!greeted_) pending_ = greeting + pending_, greeted_ = true;
    if (pending_.empty()) return 0;  // nothing more to say: the server has closed
    const int count = std::min<int>({size, 5, static_cast<int>(pending_.size())});
    std::copy_n(pending_.data(), count, buffer);
    pending_.erase(0, count);
    return count;
  }
  bool StartTls() override {
    commands.push_back("<handshake>");
    encrypted = handshakeWorks;
    return handshakeWorks;
  }
  bool Encrypted() const override { return encrypted; }
  std::string Problem() const override { return "证书无效：名称不符"; }

 private:
  std::string Answer(const std::string& line) {
    const std::string verb = line.substr(0, line.find(' '));
    if (loginStep_ == 1) return ++loginStep_, replies["LOGIN"];
    if (loginStep_ == 2) return loginStep_ = 0, replies["PASSWORD"];
    if (line == "AUTH LOGIN") return loginStep_ = 1, replies["LOGIN"];
    if (verb == "DATA" && replies["DATA"].rfind("354", 0) == 0) inData_ = true;
    if (verb == "RCPT") {
      const std::string address = line.substr(9, line.size() - 10);  // RCPT TO:<…>
      if (recipientReplies.count(address)) return recipientReplies[address];
    }
    return replies[verb];
  }
  std::string received_, pending_;
  bool greeted_ = false, inData_ = false;
  int loginStep_ = 0;
};

SmtpRequest Request() {
  SmtpRequest request;
  request.helloName = "[10.0.0.5]";
  request.startTls = true;
  request.user = "monitor@corvell.test";
  request.password = "app-pass";
  request.from = "monitor@corvell.test";
  request.to = {"ops@corvell.test", "boss@corvell.test"};
  request.mail = "Subject: x\r\n\r\nbody\r\n";
  return request;
}

TEST(SmtpDialogue, StartTlsThenEhloAgainThenAuthPlainAndEveryRecipient) {
  ScriptedServer server;
  const SendOutcome outcome = RunSmtpDialogue(server, Request());
  EXPECT_TRUE(outcome.delivered);
  EXPECT_EQ(outcome.detail, "已发送");
  const std::vector<std::string> expected = {
      "EHLO [10.0.0.5]", "STARTTLS", "<handshake>", "EHLO [10.0.0.5]",
      "AUTH PLAIN " + Base64Encode(std::string("\0monitor@corvell.test\0app-pass", 30)),
      "MAIL FROM:<monitor@corvell.test>", "RCPT TO:<ops@corvell.test>",
      "RCPT TO:<boss@corvell.test>", "DATA", "QUIT"};
  EXPECT_EQ(server.commands, expected);
  EXPECT_EQ(server.data, "Subject: x\r\n\r\nbody\r\n.\r\n");
}

TEST(SmtpDialogue, AuthLoginWhenThatIsAllTheServerOffersAndHeloWhenEhloIsUnknown) {
  ScriptedServer login;
  login.encrypted = true;  // implicit TLS
  login.replies["EHLO"] = "250-mail.test says hello\r\n250-SIZE 1000\r\n250 AUTH=LOGIN\r\n";
  SmtpRequest request = Request();
  request.startTls = false;
  EXPECT_TRUE(RunSmtpDialogue(login, request).delivered);
  ASSERT_GE(login.commands.size(), 4u);
  EXPECT_EQ(login.commands[1], "AUTH LOGIN");
  EXPECT_EQ(login.commands[2], Base64Encode("monitor@corvell.test"));
  EXPECT_EQ(login.commands[3], Base64Encode("app-pass"));

  ScriptedServer old;
  old.encrypted = true;
  old.replies["EHLO"] = "502 what?\r\n";
  request.user.clear();  // a relay that takes mail without a login
  EXPECT_TRUE(RunSmtpDialogue(old, request).delivered);
  EXPECT_EQ(old.commands[1], "HELO [10.0.0.5]");
  EXPECT_EQ(old.commands[2], "MAIL FROM:<monitor@corvell.test>");
}

TEST(SmtpDialogue, NoPasswordOverAPlainLink) {
  ScriptedServer noStartTls;
  noStartTls.replies["EHLO"] = "250-mail.test\r\n250 AUTH PLAIN LOGIN\r\n";
  SendOutcome outcome = RunSmtpDialogue(noStartTls, Request());
  EXPECT_FALSE(outcome.delivered);
  EXPECT_EQ(outcome.detail, "邮件服务器不提供 STARTTLS，不在未加密的连接上发送");

  ScriptedServer badCertificate;
  badCertificate.handshakeWorks = false;
  outcome = RunSmtpDialogue(badCertificate, Request());
  EXPECT_FALSE(outcome.delivered);
  EXPECT_EQ(outcome.detail, "证书无效：名称不符");
  for (const auto* server : {&noStartTls, &badCertificate}) {
    for (const std::string& command : server->commands) EXPECT_NE(command.rfind("AUTH", 0), 0u) << command;
  }
}

TEST(SmtpDialogue, DataIsDotStuffedWithCrLfLineEnds) {
  ScriptedServer server;
  SmtpRequest request = Request();
  request.mail = ".starts with a dot\n..two\r\nmiddle . dot\rlast";
  EXPECT_TRUE(RunSmtpDialogue(server, request).delivered);
  EXPECT_EQ(server.data, "..starts with a dot\r\n...two\r\nmiddle . dot\r\nlast\r\n.\r\n");
}

TEST(SmtpDialogue, ARefusedRecipientIsNamedAndTheOthersStillGetTheMail) {
  ScriptedServer server;
  server.recipientReplies["boss@corvell.test"] = "550 5.1.1 no such user\r\n";
  SendOutcome outcome = RunSmtpDialogue(server, Request());
  EXPECT_TRUE(outcome.delivered);
  EXPECT_EQ(outcome.detail, "已发送，但收件人被拒绝：boss@corvell.test 550 5.1.1 no such user");

  ScriptedServer nobody;
  nobody.replies["RCPT"] = "550 5.1.1 no such user\r\n";
  outcome = RunSmtpDialogue(nobody, Request());
  EXPECT_FALSE(outcome.delivered);
  EXPECT_FALSE(outcome.worthRetrying);
  EXPECT_EQ(outcome.detail, "550 5.1.1 no such user");
  EXPECT_EQ(std::count(nobody.commands.begin(), nobody.commands.end(), "DATA"), 0);
}

TEST(SmtpDialogue, ARefusalAtEachStepIsTheOutcomeWithTheServersLine) {
  // A 4xx asks to try later; a 5xx will be refused again. The password never shows, even
  // when the server repeats it.
  for (const std::string step : {"greeting", "EHLO", "STARTTLS", "AUTH", "MAIL", "DATA", "."}) {
    for (const std::string code : {"451", "554"}) {
      ScriptedServer server;
      const std::string line = code + " refused at " + step + " app-pass";
      if (step == "greeting") server.greeting = line + "\r\n";
      else server.replies[step] = line + "\r\n";
      if (step == "EHLO") server.replies["HELO"] = line + "\r\n";
      const SendOutcome outcome = RunSmtpDialogue(server, Request());
      EXPECT_FALSE(outcome.delivered) << step;
      EXPECT_EQ(outcome.worthRetrying, code == "451") << step;
      EXPECT_EQ(outcome.detail, code + " refused at " + step + " ***") << step;
      EXPECT_EQ(server.commands.size() > 0 ? server.commands.back() : "QUIT", "QUIT") << step;
    }
  }
}

TEST(SmtpDialogue, MultiLineRepliesAndHostileOnesAreReadSafely) {
  struct Case {
    std::string greeting;
    std::string detail;
  };
  const std::string longLine = "220 " + std::string(100000, 'x');
  std::string endless;
  for (int i = 0; i < 5000; ++i) endless += "220-more\r\n";
  const std::vector<Case> cases = {
      {"220-mail.test\r\n220-welcome\n220 ready\r\n", "已发送"},  // a bare LF is taken too
      {longLine, "邮件服务器的回答过长"},
      {endless, "邮件服务器的回答过长"},
      {"220-first\r\n250 other code\r\n", "邮件服务器的回答无法识别"},
      {"2x0 hello\r\n", "邮件服务器的回答无法识别"},
      {"220hello\r\n", "邮件服务器的回答无法识别"},
      {"620 hello\r\n", "邮件服务器的回答无法识别"},
      {"220-cut off", "邮件服务器断开了连接"},
      {"554 \x01\xff" "bad\r\n", "554  ?bad"}};
  for (const Case& c : cases) {
    ScriptedServer server;
    server.greeting = c.greeting;
    EXPECT_EQ(RunSmtpDialogue(server, Request()).detail, c.detail) << c.greeting.substr(0, 40);
  }
}

}  // namespace
