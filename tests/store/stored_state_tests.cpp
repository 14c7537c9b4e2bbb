#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "store/posix_files.h"
#include "store/stored_state.h"
#include "tests/support/test_files.h"

using sitemon_test::Le32;
using sitemon_test::MakeReadOnly;
using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

class StoredState : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()); }

  TempFolder folder_;
  PosixStoreFiles files_;
  Utf8CodePage codePage_;  // stands in for the ANSI code page natively
  const std::string config_ = folder_.File("Config.dat").string();
  const std::string sites_ = folder_.File("site.txt").string();
  const U16 config16_ = U16FromUtf8(config_);
  const U16 sites16_ = U16FromUtf8(sites_);
};

std::string ConfigFile(int32_t interval, int32_t retries, int32_t retryInterval, int32_t noticeId,
                       int32_t softtype, const std::string& opaque) {
  return Le32(interval) + Le32(retries) + Le32(retryInterval) + Le32(noticeId) + Le32(softtype) + opaque;
}

}  // namespace

// ---- Config.dat ----

TEST_F(StoredState, FirstStartLoadsAZeroRecordAndSavesTheRepairedSettings) {
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(ConfigRecordToBytes(record), ConfigRecordToBytes([] {
              ConfigRecord expected;
              expected.softtype = 2;
              return expected;
            }()));

  SetSettings(record, {60, 3, 30});  // what the settings lists repair a zero record to
  ASSERT_TRUE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadBytes(config_), ConfigFile(60, 3, 30, 0, 2, std::string(220, '\0')));
  EXPECT_FALSE(fs::exists(config_ + ".tmp"));
}

TEST_F(StoredState, OpaqueBlockIsWrittenBackByteForByte) {
  std::string opaque(220, '\0');
  for (size_t i = 0; i < opaque.size(); ++i) opaque[i] = static_cast<char>(255 - i);
  WriteBytes(config_, ConfigFile(120, 2, 60, 17, 5, opaque));

  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 120);
  EXPECT_EQ(record.lastNoticeId, 17);
  EXPECT_EQ(record.softtype, 2);  // always 2 once loaded, whatever was stored
  ASSERT_TRUE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadBytes(config_), ConfigFile(120, 2, 60, 17, 2, opaque));
}

TEST_F(StoredState, ShortConfigFillsLeadingFieldsAndLongConfigIsCutToTheRecord) {
  WriteBytes(config_, Le32(300) + Le32(2));
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 300);
  EXPECT_EQ(record.retryCount, 2);
  EXPECT_EQ(record.retryIntervalSeconds, 0);
  EXPECT_EQ(record.softtype, 2);

  std::string longFile = ConfigFile(900, 1, 10, 3, 2, std::string(220, '\x5A'));
  longFile.resize(10000, '\xEE');
  WriteBytes(config_, longFile);
  ConfigRecord second;
  LoadConfig(files_, config16_, second);
  ASSERT_TRUE(SaveConfig(files_, config16_, second));
  longFile.resize(240);
  EXPECT_EQ(ReadBytes(config_), longFile);
}

TEST_F(StoredState, ConfigFilesOfAnyLengthFillOnlyTheBytesTheyHold) {
  for (size_t length : {0u, 1u, 8u, 19u, 20u, 239u, 240u, 241u, 10000u}) {
    std::string file(length, '\0');
    for (size_t i = 0; i < length; ++i) file[i] = static_cast<char>(i * 37 + 11);
    WriteBytes(config_, file);
    ConfigRecord record;
    LoadConfig(files_, config16_, record);
    const ConfigBytes image = ConfigRecordToBytes(record);
    for (size_t i = 0; i < kConfigRecordBytes; ++i) {
      uint8_t expected = i < length ? static_cast<uint8_t>(file[i]) : 0;
      if (i >= 16 && i < 20) expected = i == 16 ? 2 : 0;  // softtype is 2 after every load
      ASSERT_EQ(image[i], expected) << "file of " << length << " bytes, byte " << i;
    }
  }
}

TEST_F(StoredState, ReadOnlyConfigCountsAsAbsentAndIsNotOverwritten) {
  const auto stored = ConfigFile(600, 1, 10, 0, 2, std::string(220, '\x01'));
  WriteBytes(config_, stored);
  MakeReadOnly(config_);
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 0);
  EXPECT_EQ(record.opaque[0], 0);
  EXPECT_EQ(record.softtype, 2);
  SetSettings(record, {60, 3, 30});
  EXPECT_FALSE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadBytes(config_), stored);
  EXPECT_FALSE(fs::exists(config_ + ".tmp"));
}

// ---- site.txt ----

TEST_F(StoredState, SiteListIsStoredWithOneBreakBetweenLinesAndLoadsBackTheSame) {
  const U16 joined = U16FromUtf8("http://a.example\r\nhttp://监控.example/页");
  ASSERT_TRUE(StoreSiteList(files_, codePage_, sites16_, joined));
  EXPECT_EQ(ReadBytes(sites_), "http://a.example\r\nhttp://监控.example/页");
  const auto loaded = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(*loaded, joined);
  EXPECT_FALSE(fs::exists(sites_ + ".tmp"));
}

TEST_F(StoredState, EmptyListGivesAnEmptyFileWhichLoadsAsEmptyTextNotAsMissing) {
  WriteBytes(sites_, "http://old.example");
  ASSERT_TRUE(StoreSiteList(files_, codePage_, sites16_, u""));
  ASSERT_TRUE(fs::exists(sites_));
  EXPECT_TRUE(ReadBytes(sites_).empty());
  const auto loaded = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_TRUE(loaded->empty());
}

TEST_F(StoredState, MissingSiteListIsAbsentAndTheDefaultIsOneHttpAddress) {
  EXPECT_FALSE(LoadSiteText(files_, codePage_, sites16_).has_value());
  const U16 fallback = DefaultSiteList();
  EXPECT_EQ(fallback.rfind(u"http://", 0), 0u);
  EXPECT_GT(fallback.size(), 7u);
  EXPECT_EQ(fallback.find_first_of(u"\r\n"), U16::npos);
}

TEST_F(StoredState, SiteTextStopsAtTheFirstNulByte) {
  WriteBytes(sites_, std::string("http\0xy", 7));
  EXPECT_EQ(LoadSiteText(files_, codePage_, sites16_), U16(u"http"));
  WriteBytes(sites_, std::string("\0a", 2));
  EXPECT_EQ(LoadSiteText(files_, codePage_, sites16_), U16());
}

TEST_F(StoredState, LargeSiteFilesAreReadWholeUpToTheLimit) {
  // Far longer than the old 1 MiB read, with a two-byte character (UTF-8 here) across that mark.
  std::string big((1 << 20) - 1, 'a');
  big += "\xC3\xA9\r\n";
  big.append(2 << 20, 'b');
  big[big.size() - 1] = 'Z';
  WriteBytes(sites_, big);
  const auto loaded = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(loaded.has_value());
  ASSERT_EQ(loaded->size(), big.size() - 1);
  EXPECT_EQ(loaded->substr((1 << 20) - 1, 3), u"\u00E9\r\n");
  EXPECT_EQ(loaded->back(), u'Z');

  // Past the guard only whole lines are kept: the one crossing it goes with its line break.
  big.assign(kSiteTextReadLimit - 10, 'c');
  big += "\r\nhttp://cut/at/the/guard";
  WriteBytes(sites_, big);
  const auto cut = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(*cut, U16(kSiteTextReadLimit - 10, u'c'));
}

TEST_F(StoredState, ReadOnlySiteListCountsAsAbsentAndStoreLeavesItIntact) {
  WriteBytes(sites_, "http://kept.example");
  MakeReadOnly(sites_);
  EXPECT_FALSE(LoadSiteText(files_, codePage_, sites16_).has_value());
  EXPECT_FALSE(StoreSiteList(files_, codePage_, sites16_, u"http://new.example"));
  EXPECT_EQ(ReadBytes(sites_), "http://kept.example");
  EXPECT_FALSE(fs::exists(sites_ + ".tmp"));
}

TEST_F(StoredState, MissingFolderMeansNothingIsStored) {
  const U16 nowhere = folder_.File16("no-such-folder/site.txt");
  EXPECT_FALSE(StoreSiteList(files_, codePage_, nowhere, u"http://a.example"));
  EXPECT_FALSE(fs::exists(folder_.File("no-such-folder")));
  ConfigRecord record;
  EXPECT_FALSE(SaveConfig(files_, folder_.File16("no-such-folder/Config.dat"), record));
  EXPECT_FALSE(SaveConfig(files_, u"", record));
}

TEST_F(StoredState, LeftoverTempFileIsIgnoredOnLoadAndReplacedOnSave) {
  WriteBytes(sites_, "http://good.example");
  WriteBytes(sites_ + ".tmp", "http://torn.exa");
  EXPECT_EQ(LoadSiteText(files_, codePage_, sites16_), U16(u"http://good.example"));
  ASSERT_TRUE(StoreSiteList(files_, codePage_, sites16_, u"http://next.example"));
  EXPECT_EQ(ReadBytes(sites_), "http://next.example");
  EXPECT_FALSE(fs::exists(sites_ + ".tmp"));

  WriteBytes(config_ + ".tmp", std::string(100, '\xFF'));
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 0);  // the leftover is not the record
  ASSERT_TRUE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadBytes(config_).size(), 240u);
  EXPECT_FALSE(fs::exists(config_ + ".tmp"));
}
