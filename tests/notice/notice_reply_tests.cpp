#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "notice/notice_reply.h"

namespace {

using P = NoticeReplyParse;

struct Case {
  const char* json;
  P result;
  int32_t update;
  int32_t noticeId;
  const char* text;
};

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const ParsedNoticeReply r = ParseNoticeReply(c.json);
    EXPECT_EQ(r.result, c.result) << c.json;
    if (c.result != P::Understood || r.result != P::Understood) continue;
    EXPECT_EQ(r.reply.update, c.update) << c.json;
    EXPECT_EQ(r.reply.noticeId, c.noticeId) << c.json;
    EXPECT_EQ(r.reply.noticeText, c.text) << c.json;
  }
}

}  // namespace

TEST(NoticeReply, MissingAndNullMembersReadAsZeroAndEmpty) {
  ExpectCases({
      {"{}", P::Understood, 0, 0, ""},
      {R"({"update":null,"notice_id":null,"notice_text":null})", P::Understood, 0, 0, ""},
      {R"({"other":[1,{"x":2}],"update":1})", P::Understood, 1, 0, ""},
      {"null", P::Understood, 0, 0, ""},  // a null document has no members
      {R"({"update":1,"notice_id":7,"notice_text":"hello world"})", P::Understood, 1, 7,
       "hello world"},
  });
}

TEST(NoticeReply, IntegerConversionOfEveryKind) {
  ExpectCases({
      {R"({"update":true,"notice_id":false})", P::Understood, 1, 0, ""},
      {R"({"update":2.9,"notice_id":-3.7})", P::Understood, 2, -3, ""},
      {R"({"notice_id":2147483647})", P::Understood, 0, 2147483647, ""},
      {R"({"notice_id":-2147483648})", P::Understood, 0, -2147483647 - 1, ""},
      {R"({"notice_id":2147483647.0})", P::Understood, 0, 2147483647, ""},
      {R"({"notice_id":-2147483648.0})", P::Understood, 0, -2147483647 - 1, ""},
      {R"({"notice_id":1e3})", P::Understood, 0, 1000, ""},
      // Out of the signed 32-bit range, whatever the JSON kind: cannot be converted.
      {R"({"notice_id":2147483648})", P::Unusable, 0, 0, ""},
      {R"({"notice_id":-2147483649})", P::Unusable, 0, 0, ""},
      {R"({"notice_id":4294967295})", P::Unusable, 0, 0, ""},
      {R"({"notice_id":18446744073709551615})", P::Unusable, 0, 0, ""},
      {R"({"notice_id":123456789012345678901234567890})", P::Unusable, 0, 0, ""},
      {R"({"notice_id":2147483647.5})", P::Unusable, 0, 0, ""},
      {R"({"notice_id":-2147483648.5})", P::Unusable, 0, 0, ""},
      {R"({"update":1e300})", P::Unusable, 0, 0, ""},
      // Other kinds cannot be converted.
      {R"({"notice_id":"7"})", P::Unusable, 0, 0, ""},
      {R"({"update":[]})", P::Unusable, 0, 0, ""},
      {R"({"update":{}})", P::Unusable, 0, 0, ""},
  });
}

TEST(NoticeReply, TextConversionOfEveryKind) {
  ExpectCases({
      {R"({"notice_text":123456})", P::Understood, 0, 0, "123456"},
      {R"({"notice_text":-5})", P::Understood, 0, 0, "-5"},
      {R"({"notice_text":18446744073709551615})", P::Understood, 0, 0, "18446744073709551615"},
      {R"({"notice_text":true})", P::Understood, 0, 0, "true"},
      {R"({"notice_text":false})", P::Understood, 0, 0, "false"},
      {R"({"notice_text":1.5})", P::Understood, 0, 0, "1.5"},
      {R"({"notice_text":"\u4f60\u597d \"q\" \\ \/"})", P::Understood, 0, 0,
       "\xE4\xBD\xA0\xE5\xA5\xBD \"q\" \\ /"},
      {R"({"notice_text":[]})", P::Unusable, 0, 0, ""},
      {R"({"notice_text":{"a":1}})", P::Unusable, 0, 0, ""},
      // One bad member spoils the whole reply, even when the others are fine.
      {R"({"update":1,"notice_id":9,"notice_text":["long enough text"]})", P::Unusable, 0, 0, ""},
  });
}

TEST(NoticeReply, RootsOtherThanAnObjectCannotBeRead) {
  ExpectCases({
      {"[]", P::Unusable, 0, 0, ""},
      {R"([{"update":1}])", P::Unusable, 0, 0, ""},
      {"7", P::Unusable, 0, 0, ""},
      {"\"update\"", P::Unusable, 0, 0, ""},
      {"true", P::Unusable, 0, 0, ""},
  });
}

TEST(NoticeReply, InvalidDocumentsAreNotUnderstood) {
  ExpectCases({
      {"", P::NotJson, 0, 0, ""},
      {"   ", P::NotJson, 0, 0, ""},
      {"{", P::NotJson, 0, 0, ""},
      {R"({"update":1)", P::NotJson, 0, 0, ""},
      {R"({"update":1}})", P::NotJson, 0, 0, ""},
      {"{'update':1}", P::NotJson, 0, 0, ""},
      {R"({"update":01})", P::NotJson, 0, 0, ""},
      {R"({"notice_text":"\x"})", P::NotJson, 0, 0, ""},
      {R"({"notice_text":"unterminated})", P::NotJson, 0, 0, ""},
      {"<html><body>502 Bad Gateway</body></html>", P::NotJson, 0, 0, ""},
      {R"({"update":1e999999})", P::NotJson, 0, 0, ""},  // overflows a double
  });
}

TEST(NoticeReply, CommentsAreSkippedAndLastDuplicateWins) {
  ExpectCases({
      {"/* service */ {\"update\": 1, // newer\n \"notice_id\": 3}", P::Understood, 1, 3, ""},
      {R"({"notice_id":1,"notice_id":2})", P::Understood, 0, 2, ""},
  });
}

TEST(NoticeReply, RawCodePageBytesAndControlCharactersInTextArePassedThrough) {
  // "你好，世界" in code page 936, sent raw as the service does.
  const std::string gbk = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7";
  ParsedNoticeReply r = ParseNoticeReply("{\"notice_id\":4,\"notice_text\":\"" + gbk + "\"}");
  ASSERT_EQ(r.result, P::Understood);
  EXPECT_EQ(r.reply.noticeText, gbk);

  // Every byte value but the quote and the backslash, raw inside the string.
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != '"' && b != '\\') all += static_cast<char>(b);
  r = ParseNoticeReply("{\"notice_text\":\"" + all + "\"}");
  ASSERT_EQ(r.result, P::Understood);
  EXPECT_EQ(r.reply.noticeText, all);

  // Raw high bytes outside a string are still not JSON.
  EXPECT_EQ(ParseNoticeReply("{\"update\":\xC4\xE3}").result, P::NotJson);
}

TEST(NoticeReply, NestingIsLimitedBeforeParsing) {
  const auto nested = [](int depth) {
    return "{\"x\":" + std::string(static_cast<size_t>(depth - 1), '[') +
           std::string(static_cast<size_t>(depth - 1), ']') + ",\"update\":1}";
  };
  EXPECT_EQ(ParseNoticeReply(nested(kMaxJsonDepth)).result, P::Understood);
  EXPECT_EQ(ParseNoticeReply(nested(kMaxJsonDepth + 1)).result, P::NotJson);

  // 100 000 nested arrays, closed and unclosed, are refused without descending into them.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ParseNoticeReply(std::string(100000, '[') + std::string(100000, ']')).result,
            P::NotJson);
  EXPECT_EQ(ParseNoticeReply(std::string(100000, '{')).result, P::NotJson);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  // Brackets inside strings and comments are not nesting.
  const std::string brackets(5000, '[');
  const ParsedNoticeReply r = ParseNoticeReply("{\"notice_text\":\"" + brackets + "\"}");
  ASSERT_EQ(r.result, P::Understood);
  EXPECT_EQ(r.reply.noticeText, brackets);
  EXPECT_EQ(ParseNoticeReply("/*" + brackets + "*/ {\"update\":1}").result, P::Understood);
  EXPECT_EQ(ParseNoticeReply("{\"a\":\"\\\"[[[\",\"update\":1}").result, P::Understood);
}

TEST(NoticeReply, PreparedTextRoundTripsAndCountsOnlyRealNesting) {
  std::string out;
  EXPECT_TRUE(PrepareJsonText("[[\"]]]]\"]]", 2, out));
  EXPECT_EQ(out, "[[\"]]]]\"]]");
  EXPECT_FALSE(PrepareJsonText("[[[", 2, out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(PrepareJsonText("\"\xFF\x01\"", 1, out));
  EXPECT_EQ(out, "\"\xEF\x9F\xBF\\u0001\"");
  EXPECT_EQ(RestoreRawBytes("\xEF\x9F\xBF" "a\xEF\x9E\x80"), "\xFF" "a\x80");
  EXPECT_EQ(RestoreRawBytes("\xEF\xBC\x8C"), "\xEF\xBC\x8C");  // other characters are kept
}
