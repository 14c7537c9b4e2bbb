// The mail's text: encoded words that any mail program reads back, base64 lines, the headers.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "alerts/smtp_message.h"

namespace {

std::string Unbase64(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned int bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    bits = (bits << 6) | static_cast<unsigned int>(alphabet.find(c));
    if ((count += 6) >= 8) bytes += static_cast<char>((bits >> (count -= 8)) & 0xFF);
  }
  return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

bool IsWholeUtf8(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST(SmtpMessage, ChineseSubjectIsFoldedIntoWholeCharacterEncodedWords) {
  const std::string subject =
      "Corvell网站监控 办公室-前台 故障：https://shop.example.com/ 网站服务器，内部发生错误500 😀";
  const std::string header = EncodedHeader("Subject", subject);
  ASSERT_EQ(header.substr(header.size() - 2), "\r\n");
  const std::vector<std::string> lines = Lines(header);
  ASSERT_GT(lines.size(), 2u);
  std::string decoded;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    EXPECT_LE(line.size(), 76u) << line;
    const std::string lead = i == 0 ? "Subject: =?UTF-8?B?" : " =?UTF-8?B?";
    ASSERT_EQ(line.rfind(lead, 0), 0u) << line;
    ASSERT_EQ(line.substr(line.size() - 2), "?=") << line;
    const std::string word = Unbase64(line.substr(lead.size(), line.size() - lead.size() - 2));
    EXPECT_TRUE(IsWholeUtf8(word)) << line;
    decoded += word;
  }
  EXPECT_EQ(decoded, subject);
}

TEST(SmtpMessage, MailHasItsHeadersAndABase64BodyInLinesOf76) {
  MailParts parts;
  parts.senderName = "Corvell网站监控";
  parts.from = "monitor@corvell.test";
  parts.to = {"ops@corvell.test", "boss@corvell.test"};
  parts.subject = "恢复";
  std::string body;
  for (int i = 0; i < 20; ++i) body += "网站 https://shop.example.com/ 访问正常\n";
  parts.body = body;
  parts.date = {2026, 12, 8, 23, 5, 9};
  parts.uniquePart = "abc.123";
  const std::string mail = ComposeMail(parts);
  const std::size_t split = mail.find("\r\n\r\n");
  ASSERT_NE(split, std::string::npos);
  const std::string headers = mail.substr(0, split + 2);
  EXPECT_NE(headers.find("Date: Tue, 08 Dec 2026 23:05:09 +0000\r\n"), std::string::npos);
  EXPECT_NE(headers.find("From: =?UTF-8?B?" + Base64Encode("Corvell网站监控") + "?=\r\n <monitor@corvell.test>\r\n"),
            std::string::npos);
  EXPECT_NE(headers.find("To: <ops@corvell.test>,\r\n <boss@corvell.test>\r\n"), std::string::npos);
  EXPECT_NE(headers.find(EncodedHeader("Subject", "恢复")), std::string::npos);
  EXPECT_NE(headers.find("Message-ID: <abc.123@corvell.test>\r\n"), std::string::npos);
  EXPECT_NE(headers.find("MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                         "Content-Transfer-Encoding: base64\r\n"), std::string::npos);
  std::string encoded;
  const std::vector<std::string> lines = Lines(mail.substr(split + 4));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(i + 1 == lines.size() ? lines[i].size() <= 76 : lines[i].size() == 76);
    encoded += lines[i];
  }
  std::string crlf;
  for (const char c : body) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Unbase64(encoded), crlf);
}

TEST(SmtpMessage, OnlyPlainAddressesAreTakenForTheEnvelope) {
  EXPECT_TRUE(IsPlainMailAddress("a.b+c@mail.example.com"));
  for (const char* bad : {"", "no-at", "@host", "user@", "a b@c", "a@b\r\nRCPT TO:<x@y>", "<a@b>",
                          "a@b,c@d", "用户@例子.中国"}) {
    EXPECT_FALSE(IsPlainMailAddress(bad)) << bad;
  }
}

}  // namespace
