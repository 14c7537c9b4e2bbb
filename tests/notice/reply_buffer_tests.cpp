#include <gtest/gtest.h>

#include <string>

#include "notice/reply_buffer.h"

namespace {

// Every byte from length up to capacity must be zero.
bool ZeroAfterContent(const ReplyBuffer& b) {
  for (int32_t i = b.length(); i < b.capacity(); ++i)
    if (b.storage()[i] != 0) return false;
  return true;
}

std::string Bytes(size_t n, char seed = 'a') {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i % 26);
  return s;
}

}  // namespace

TEST(ReplyBuffer, StartsWith2048ZeroBytes) {
  ReplyBuffer b;
  EXPECT_EQ(b.capacity(), 2048);
  EXPECT_EQ(b.length(), 0);
  EXPECT_TRUE(ZeroAfterContent(b));
  EXPECT_STREQ(b.Text(), "");
}

TEST(ReplyBuffer, ContentThatLeavesOneZeroByteFitsWithoutGrowing) {
  ReplyBuffer b;
  const std::string s = Bytes(2047);
  EXPECT_EQ(b.Append(s.data(), 2047), 1);
  EXPECT_EQ(b.capacity(), 2048);
  EXPECT_EQ(b.length(), 2047);
  EXPECT_EQ(b.storage()[2047], 0);
  EXPECT_EQ(std::string(b.Text()), s);
}

TEST(ReplyBuffer, ContentFillingTheLastByteGrowsFirst) {
  for (int32_t size : {2048, 2049}) {
    ReplyBuffer b;
    const std::string s = Bytes(static_cast<size_t>(size));
    EXPECT_EQ(b.Append(s.data(), size), 1);
    // Grown by twice the count (more than 64).
    EXPECT_EQ(b.capacity(), 2048 + 2 * size) << size;
    EXPECT_EQ(b.length(), size);
    EXPECT_EQ(std::string(b.Text()), s);
    EXPECT_TRUE(ZeroAfterContent(b));
  }
}

TEST(ReplyBuffer, SmallAppendsGrowByAtLeast128AndStayTerminated) {
  ReplyBuffer b;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const char c = static_cast<char>('A' + i % 50);
    ASSERT_EQ(b.Append(&c, 1), 1);
    expected += c;
    ASSERT_GT(b.capacity(), b.length());
    ASSERT_EQ(b.storage()[b.length()], 0);
  }
  EXPECT_EQ(std::string(b.Text()), expected);
  EXPECT_EQ((b.capacity() - 2048) % 128, 0);  // each growth step was 2 x 64
  EXPECT_LT(b.capacity(), 5000 + 129);        // grown only when needed
  EXPECT_TRUE(ZeroAfterContent(b));
}

TEST(ReplyBuffer, ChunksOf512FillThreeThenGrow) {
  ReplyBuffer b;
  const std::string chunk = Bytes(512);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(b.Append(chunk.data(), 512), 1);
  EXPECT_EQ(b.capacity(), 2048);
  ASSERT_EQ(b.Append(chunk.data(), 512), 1);  // 2048 bytes would leave no zero byte
  EXPECT_EQ(b.capacity(), 2048 + 1024);
  EXPECT_EQ(b.length(), 2048);
  EXPECT_EQ(std::string(b.Text()), chunk + chunk + chunk + chunk);
}

TEST(ReplyBuffer, RefusesBadCountsAndLeavesContent) {
  ReplyBuffer b;
  ASSERT_EQ(b.Append("abc", 3), 1);
  EXPECT_EQ(b.Append("xyz", -1), 0);
  EXPECT_EQ(b.Append(nullptr, 4), 0);
  EXPECT_EQ(b.Append("xyz", 0), 1);
  EXPECT_EQ(b.length(), 3);
  EXPECT_STREQ(b.Text(), "abc");
}

TEST(ReplyBuffer, ReleaseEmptiesAndTheBufferCanBeUsedAgain) {
  ReplyBuffer b;
  ASSERT_EQ(b.Append("abc", 3), 1);
  b.Release();
  EXPECT_EQ(b.storage(), nullptr);
  EXPECT_EQ(b.capacity(), 0);
  EXPECT_EQ(b.length(), 0);
  EXPECT_STREQ(b.Text(), "");
  EXPECT_EQ(b.Append("de", 2), 1);
  EXPECT_EQ(b.capacity(), 128);
  EXPECT_STREQ(b.Text(), "de");
  b.Release();
  b.Release();  // twice is harmless
  EXPECT_EQ(b.capacity(), 0);
}
