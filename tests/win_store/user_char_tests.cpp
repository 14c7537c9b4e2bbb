#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "store/user_char_win.h"

// The test prefix runs in the zh_CN locale, as a Chinese Windows does.
TEST(CUserChar, SystemCodePageIsChinese) { EXPECT_EQ(::GetACP(), 936u); }

TEST(CUserChar, ChineseTextRoundTripsThroughCodePage936) {
  CUserChar convert;
  const wchar_t* text = L"监控 http://例子.cn/页面";
  const std::string narrow = convert.ToNarrow(text);
  // 监 is BC E0 and 控 is BF D8 in GBK.
  ASSERT_GE(narrow.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(narrow[0]), 0xBC);
  EXPECT_EQ(static_cast<unsigned char>(narrow[1]), 0xE0);
  EXPECT_EQ(static_cast<unsigned char>(narrow[2]), 0xBF);
  EXPECT_EQ(static_cast<unsigned char>(narrow[3]), 0xD8);
  EXPECT_EQ(narrow.size(), std::wcslen(text) + 6);  // six double-byte characters
  EXPECT_STREQ(convert.ToWide(narrow.c_str()), text);
}

TEST(CUserChar, CharactersOutsideTheCodePageBecomeItsDefaultCharacter) {
  CPINFO info{};
  ASSERT_TRUE(::GetCPInfo(CP_ACP, &info));
  CUserChar convert;
  const std::string narrow = convert.ToNarrow(L"a\u0E01b");  // a Thai letter GBK lacks
  ASSERT_EQ(narrow.size(), 3u);
  EXPECT_EQ(narrow[0], 'a');
  EXPECT_EQ(narrow[1], static_cast<char>(info.DefaultChar[0]));
  EXPECT_EQ(narrow[2], 'b');
}

TEST(CUserChar, InvalidMultiByteSequencesConvertWithoutOverrun) {
  CUserChar convert;
  // A lead byte at the very end, a lead byte followed by a byte no trail may be, and a byte
  // outside the code page: the valid neighbours survive and the result is terminated.
  for (const char* input : {"ab\x81", "ab\x81\x20" "cd", "\xFF" "ab", "\x81"}) {
    const wchar_t* wide = convert.ToWide(input);
    ASSERT_NE(wide, nullptr);
    const std::wstring result = wide;
    EXPECT_LE(result.size(), std::strlen(input)) << "input of " << std::strlen(input) << " bytes";
    if (input[0] == 'a') {
      EXPECT_EQ(result.substr(0, 2), L"ab");
    }
  }
  EXPECT_NE(std::wstring(convert.ToWide("ab\x81\x20" "cd")).find(L"cd"), std::wstring::npos);
  EXPECT_STREQ(convert.ToWide("\xBC\xE0"), L"监");  // and it still converts properly afterwards
}

TEST(CUserChar, EmptyAndNullInputGiveEmptyTextAndNulEndsTheInput) {
  CUserChar convert;
  EXPECT_STREQ(convert.ToNarrow(L""), "");
  EXPECT_STREQ(convert.ToNarrow(nullptr), "");
  EXPECT_STREQ(convert.ToWide(""), L"");
  EXPECT_STREQ(convert.ToWide(nullptr), L"");

  UserCharCodePage codePage;
  const U16 withNul(u"ab\0cd", 5);
  EXPECT_EQ(codePage.ToAnsi(withNul), "ab");
  EXPECT_EQ(codePage.FromAnsi(std::string_view("\xBC\xE0\0x", 4)), U16(u"监"));
}

TEST(CUserChar, EachConversionReplacesThePreviousResult) {
  CUserChar convert;
  std::wstring longText(5000, L'控');
  const size_t longSize = std::strlen(convert.ToNarrow(longText.c_str()));
  EXPECT_EQ(longSize, 10000u);
  EXPECT_STREQ(convert.ToNarrow(L"x"), "x");
  EXPECT_STREQ(convert.ToWide(std::string(3000, 'y').c_str()), std::wstring(3000, L'y').c_str());
  EXPECT_STREQ(convert.ToNarrow(L"控"), "\xBF\xD8");
}
