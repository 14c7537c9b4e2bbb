#include <gtest/gtest.h>

#include "base/log_time.h"
#include "base/utf16.h"

TEST(LogTime, YearPaddedMonthAndDayBareTimeTwoDigits) {
  EXPECT_EQ(Utf8FromU16(FormatLogTime({2014, 5, 7, 9, 3, 5})), "2014-5-7 09:03:05");
  EXPECT_EQ(Utf8FromU16(FormatLogTime({999, 12, 31, 23, 59, 59})), " 999-12-31 23:59:59");
}

TEST(Utf16, RoundTripsChineseAndAstralText) {
  const std::string s = "监控开始运行... \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8FromU16(U16FromUtf8(s)), s);
  EXPECT_EQ(U16FromUtf8("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(U16FromUtf8("\xC3"), U16(1, u'\xFFFD'));
}

TEST(Utf16, CopyToFieldCutsWithoutOverrunOrHalfPairs) {
  char16_t field[5];
  EXPECT_EQ(CopyToField(field, 5, u"abcdefg"), 4u);
  EXPECT_EQ(U16(field), u"abcd");
  EXPECT_EQ(CopyToField(field, 5, u"abc\xD83D\xDE00"), 3u);  // the pair would be split: left out
  EXPECT_EQ(U16(field), u"abc");
  EXPECT_EQ(CopyToField(field, 1, u"abc"), 0u);
  EXPECT_EQ(field[0], u'\0');
}

TEST(Utf16, LeadingDecimalFollowsTheRuntimeRule) {
  EXPECT_EQ(LeadingDecimal(u"404"), 404);
  EXPECT_EQ(LeadingDecimal(u"  302 Found"), 302);
  EXPECT_EQ(LeadingDecimal(u""), 0);
  EXPECT_EQ(LeadingDecimal(u"abc"), 0);
  EXPECT_EQ(LeadingDecimal(u"-5"), -5);
  EXPECT_EQ(LeadingDecimal(u"99999999999999"), 2147483647);
}
