#include <gtest/gtest.h>

#include "base/wide_text_win.h"
#include "store/stored_state.h"
#include "store/user_char_win.h"
#include "store/win32_files_win.h"
#include "tests/support/test_files.h"

using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()); }
  U16 Path16(const std::wstring& path) { return AsU16(path.c_str()); }

  TempFolder folder_;
  Win32StoreFiles files_;
  UserCharCodePage codePage_;
  const std::wstring sites_ = folder_.File(L"site.txt").wstring();
  const std::wstring config_ = folder_.File(L"Config.dat").wstring();
};

}  // namespace

TEST_F(Win32Files, SaveReplacesTheOldFileAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(WriteBytes(sites_, "http://old.example/a-much-longer-old-list"));
  ASSERT_TRUE(StoreSiteList(files_, codePage_, Path16(sites_), u"http://a.example\r\nhttp://b.example"));
  EXPECT_EQ(ReadBytes(sites_), "http://a.example\r\nhttp://b.example");
  EXPECT_FALSE(fs::exists(sites_ + L".tmp"));

  // A leftover from an interrupted save is not read, and the next save takes its place.
  ASSERT_TRUE(WriteBytes(sites_ + L".tmp", "http://torn"));
  EXPECT_EQ(LoadSiteText(files_, codePage_, Path16(sites_)), U16(u"http://a.example\r\nhttp://b.example"));
  ASSERT_TRUE(StoreSiteList(files_, codePage_, Path16(sites_), u"http://c.example"));
  EXPECT_EQ(ReadBytes(sites_), "http://c.example");
  EXPECT_FALSE(fs::exists(sites_ + L".tmp"));
}

TEST_F(Win32Files, ChineseSiteListIsStoredInTheAnsiCodePage) {
  const U16 joined = u"http://例子.cn\r\nhttp://b.example/页面";
  ASSERT_TRUE(StoreSiteList(files_, codePage_, Path16(sites_), joined));
  EXPECT_EQ(ReadBytes(sites_), "http://\xC0\xFD\xD7\xD3.cn\r\nhttp://b.example/\xD2\xB3\xC3\xE6");
  EXPECT_EQ(LoadSiteText(files_, codePage_, Path16(sites_)), joined);
}

TEST_F(Win32Files, EmptyListAndEmptyFileAndNulByte) {
  ASSERT_TRUE(StoreSiteList(files_, codePage_, Path16(sites_), u""));
  EXPECT_EQ(ReadBytes(sites_), "");
  EXPECT_EQ(LoadSiteText(files_, codePage_, Path16(sites_)), U16());
  ASSERT_TRUE(WriteBytes(sites_, std::string("http://x\0junk", 13)));
  EXPECT_EQ(LoadSiteText(files_, codePage_, Path16(sites_)), U16(u"http://x"));
}

TEST_F(Win32Files, ReadOnlySiteListIsAbsentAndNotOverwritten) {
  ASSERT_TRUE(WriteBytes(sites_, "http://kept.example"));
  ASSERT_TRUE(::SetFileAttributesW(sites_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(LoadSiteText(files_, codePage_, Path16(sites_)).has_value());
  EXPECT_FALSE(StoreSiteList(files_, codePage_, Path16(sites_), u"http://new.example"));
  EXPECT_EQ(ReadBytes(sites_), "http://kept.example");
  EXPECT_FALSE(fs::exists(sites_ + L".tmp"));
}

TEST_F(Win32Files, ConfigRecordRoundTripsAndAShortFileFillsLeadingFields) {
  ASSERT_TRUE(WriteBytes(config_, std::string("\x2C\x01\0\0\x02\0\0\0", 8)));  // 300 and 2
  ConfigRecord record;
  LoadConfig(files_, Path16(config_), record);
  EXPECT_EQ(record.checkIntervalSeconds, 300);
  EXPECT_EQ(record.retryCount, 2);
  EXPECT_EQ(record.retryIntervalSeconds, 0);
  EXPECT_EQ(record.softtype, 2);

  record.retryIntervalSeconds = 30;
  record.opaque[219] = 0x7E;
  ASSERT_TRUE(SaveConfig(files_, Path16(config_), record));
  const std::string stored = ReadBytes(config_);
  ASSERT_EQ(stored.size(), 240u);
  EXPECT_EQ(stored.substr(0, 20), std::string("\x2C\x01\0\0\x02\0\0\0\x1E\0\0\0\0\0\0\0\x02\0\0\0", 20));
  EXPECT_EQ(stored[239], '\x7E');
  EXPECT_FALSE(fs::exists(config_ + L".tmp"));

  ConfigRecord again;
  LoadConfig(files_, Path16(config_), again);
  EXPECT_EQ(ConfigRecordToBytes(again), ConfigRecordToBytes(record));
}

TEST_F(Win32Files, MissingFolderStoresNothing) {
  const std::wstring nowhere = folder_.File(L"absent\\site.txt").wstring();
  EXPECT_FALSE(StoreSiteList(files_, codePage_, Path16(nowhere), u"http://a.example"));
  EXPECT_FALSE(fs::exists(folder_.File(L"absent")));
  EXPECT_FALSE(LoadSiteText(files_, codePage_, Path16(nowhere)).has_value());
}
