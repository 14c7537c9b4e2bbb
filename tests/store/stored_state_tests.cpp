#include <gtest/gtest.h>

#include "store/posix_files.h"
#include "store/stored_state.h"
#include "tests/store/temp_folder.h"

namespace {

class StoredState : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()); }

  TempFolder folder_;
  PosixStoreFiles files_;
  Utf8CodePage codePage_;  // stands in for the ANSI code page natively
  const std::string config_ = folder_.File("Config.dat");
  const std::string sites_ = folder_.File("site.txt");
  const U16 config16_ = U16FromUtf8(config_);
  const U16 sites16_ = U16FromUtf8(sites_);
};

std::vector<uint8_t> Int32Le(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

std::vector<uint8_t> ConfigFile(int32_t interval, int32_t retries, int32_t retryInterval,
                                int32_t noticeId, int32_t softtype,
                                const std::vector<uint8_t>& opaque) {
  std::vector<uint8_t> file;
  for (int32_t v : {interval, retries, retryInterval, noticeId, softtype}) {
    const auto b = Int32Le(v);
    file.insert(file.end(), b.begin(), b.end());
  }
  file.insert(file.end(), opaque.begin(), opaque.end());
  return file;
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
  EXPECT_EQ(ReadRaw(config_), ConfigFile(60, 3, 30, 0, 2, std::vector<uint8_t>(220, 0)));
  EXPECT_FALSE(Exists(config_ + ".tmp"));
}

TEST_F(StoredState, OpaqueBlockIsWrittenBackByteForByte) {
  std::vector<uint8_t> opaque(220);
  for (size_t i = 0; i < opaque.size(); ++i) opaque[i] = static_cast<uint8_t>(255 - i);
  WriteRaw(config_, ConfigFile(120, 2, 60, 17, 5, opaque));

  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 120);
  EXPECT_EQ(record.lastNoticeId.load(), 17);
  EXPECT_EQ(record.softtype, 2);  // always 2 once loaded, whatever was stored
  ASSERT_TRUE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadRaw(config_), ConfigFile(120, 2, 60, 17, 2, opaque));
}

TEST_F(StoredState, ShortConfigFillsLeadingFieldsAndLongConfigIsCutToTheRecord) {
  std::vector<uint8_t> eight = Int32Le(300);
  const auto two = Int32Le(2);
  eight.insert(eight.end(), two.begin(), two.end());
  WriteRaw(config_, eight);
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 300);
  EXPECT_EQ(record.retryCount, 2);
  EXPECT_EQ(record.retryIntervalSeconds, 0);
  EXPECT_EQ(record.softtype, 2);

  std::vector<uint8_t> longFile = ConfigFile(900, 1, 10, 3, 2, std::vector<uint8_t>(220, 0x5A));
  longFile.resize(10000, 0xEE);
  WriteRaw(config_, longFile);
  ConfigRecord second;
  LoadConfig(files_, config16_, second);
  ASSERT_TRUE(SaveConfig(files_, config16_, second));
  longFile.resize(240);
  EXPECT_EQ(ReadRaw(config_), longFile);
}

TEST_F(StoredState, ConfigFilesOfAnyLengthFillOnlyTheBytesTheyHold) {
  for (size_t length : {0u, 1u, 8u, 19u, 20u, 239u, 240u, 241u, 10000u}) {
    std::vector<uint8_t> file(length);
    for (size_t i = 0; i < length; ++i) file[i] = static_cast<uint8_t>(i * 37 + 11);
    WriteRaw(config_, file);
    ConfigRecord record;
    LoadConfig(files_, config16_, record);
    const ConfigBytes image = ConfigRecordToBytes(record);
    for (size_t i = 0; i < kConfigRecordBytes; ++i) {
      uint8_t expected = i < length ? file[i] : 0;
      if (i >= 16 && i < 20) expected = i == 16 ? 2 : 0;  // softtype is 2 after every load
      ASSERT_EQ(image[i], expected) << "file of " << length << " bytes, byte " << i;
    }
  }
}

TEST_F(StoredState, ReadOnlyConfigCountsAsAbsentAndIsNotOverwritten) {
  const auto stored = ConfigFile(600, 1, 10, 0, 2, std::vector<uint8_t>(220, 1));
  WriteRaw(config_, stored);
  MakeReadOnly(config_);
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 0);
  EXPECT_EQ(record.opaque[0], 0);
  EXPECT_EQ(record.softtype, 2);
  SetSettings(record, {60, 3, 30});
  EXPECT_FALSE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadRaw(config_), stored);
  EXPECT_FALSE(Exists(config_ + ".tmp"));
}

// ---- site.txt ----

TEST_F(StoredState, SiteListIsStoredWithOneBreakBetweenLinesAndLoadsBackTheSame) {
  const U16 joined = U16FromUtf8("http://a.example\r\nhttp://监控.example/页");
  ASSERT_TRUE(StoreSiteList(files_, codePage_, sites16_, joined));
  EXPECT_EQ(ReadRaw(sites_), BytesOf("http://a.example\r\nhttp://监控.example/页"));
  const auto loaded = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(*loaded, joined);
  EXPECT_FALSE(Exists(sites_ + ".tmp"));
}

TEST_F(StoredState, EmptyListGivesAnEmptyFileWhichLoadsAsEmptyTextNotAsMissing) {
  WriteRaw(sites_, BytesOf("http://old.example"));
  ASSERT_TRUE(StoreSiteList(files_, codePage_, sites16_, u""));
  ASSERT_TRUE(Exists(sites_));
  EXPECT_TRUE(ReadRaw(sites_).empty());
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
  WriteRaw(sites_, {'h', 't', 't', 'p', 0, 'x', 'y'});
  EXPECT_EQ(LoadSiteText(files_, codePage_, sites16_), U16(u"http"));
  WriteRaw(sites_, {0, 'a'});
  EXPECT_EQ(LoadSiteText(files_, codePage_, sites16_), U16());
}

TEST_F(StoredState, LargeSiteFilesAreReadWholeUpToTheLimit) {
  std::vector<uint8_t> big(64 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>('a' + i % 26);
  big[big.size() - 1] = 'Z';
  WriteRaw(sites_, big);
  const auto loaded = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(loaded.has_value());
  ASSERT_EQ(loaded->size(), big.size());
  EXPECT_EQ(loaded->back(), u'Z');

  big.assign(kSiteTextReadLimit + 100, 'b');
  WriteRaw(sites_, big);
  const auto cut = LoadSiteText(files_, codePage_, sites16_);
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(cut->size(), kSiteTextReadLimit);
}

TEST_F(StoredState, ReadOnlySiteListCountsAsAbsentAndStoreLeavesItIntact) {
  WriteRaw(sites_, BytesOf("http://kept.example"));
  MakeReadOnly(sites_);
  EXPECT_FALSE(LoadSiteText(files_, codePage_, sites16_).has_value());
  EXPECT_FALSE(StoreSiteList(files_, codePage_, sites16_, u"http://new.example"));
  EXPECT_EQ(ReadRaw(sites_), BytesOf("http://kept.example"));
  EXPECT_FALSE(Exists(sites_ + ".tmp"));
}

TEST_F(StoredState, MissingFolderMeansNothingIsStored) {
  const U16 nowhere = folder_.File16("no-such-folder/site.txt");
  EXPECT_FALSE(StoreSiteList(files_, codePage_, nowhere, u"http://a.example"));
  EXPECT_FALSE(Exists(folder_.File("no-such-folder")));
  ConfigRecord record;
  EXPECT_FALSE(SaveConfig(files_, folder_.File16("no-such-folder/Config.dat"), record));
  EXPECT_FALSE(SaveConfig(files_, u"", record));
}

TEST_F(StoredState, LeftoverTempFileIsIgnoredOnLoadAndReplacedOnSave) {
  WriteRaw(sites_, BytesOf("http://good.example"));
  WriteRaw(sites_ + ".tmp", BytesOf("http://torn.exa"));
  EXPECT_EQ(LoadSiteText(files_, codePage_, sites16_), U16(u"http://good.example"));
  ASSERT_TRUE(StoreSiteList(files_, codePage_, sites16_, u"http://next.example"));
  EXPECT_EQ(ReadRaw(sites_), BytesOf("http://next.example"));
  EXPECT_FALSE(Exists(sites_ + ".tmp"));

  WriteRaw(config_ + ".tmp", std::vector<uint8_t>(100, 0xFF));
  ConfigRecord record;
  LoadConfig(files_, config16_, record);
  EXPECT_EQ(record.checkIntervalSeconds, 0);  // the leftover is not the record
  ASSERT_TRUE(SaveConfig(files_, config16_, record));
  EXPECT_EQ(ReadRaw(config_).size(), 240u);
  EXPECT_FALSE(Exists(config_ + ".tmp"));
}
