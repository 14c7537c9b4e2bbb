#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "store/config_record.h"

namespace {

// An independent little-endian encoding, so the expectation is not the code under test.
void ExpectInt32At(const ConfigBytes& bytes, size_t offset, uint8_t b0, uint8_t b1, uint8_t b2,
                   uint8_t b3) {
  EXPECT_EQ(bytes[offset], b0) << "offset " << offset;
  EXPECT_EQ(bytes[offset + 1], b1) << "offset " << offset + 1;
  EXPECT_EQ(bytes[offset + 2], b2) << "offset " << offset + 2;
  EXPECT_EQ(bytes[offset + 3], b3) << "offset " << offset + 3;
}

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

}  // namespace

TEST(ConfigRecord, ImageHoldsFieldsLittleEndianThenTheOpaqueBlock) {
  ConfigRecord record;
  record.checkIntervalSeconds = 900;       // 0x384
  record.retryCount = 3;
  record.retryIntervalSeconds = 0x01020304;
  record.lastNoticeId = -2;                // two's complement
  record.softtype = 2;
  for (size_t i = 0; i < kConfigOpaqueBytes; ++i) record.opaque[i] = static_cast<uint8_t>(i + 1);

  const ConfigBytes bytes = ConfigRecordToBytes(record);
  ExpectInt32At(bytes, 0, 0x84, 0x03, 0, 0);
  ExpectInt32At(bytes, 4, 3, 0, 0, 0);
  ExpectInt32At(bytes, 8, 0x04, 0x03, 0x02, 0x01);
  ExpectInt32At(bytes, 12, 0xFE, 0xFF, 0xFF, 0xFF);
  ExpectInt32At(bytes, 16, 2, 0, 0, 0);
  for (size_t i = 0; i < kConfigOpaqueBytes; ++i) {
    ASSERT_EQ(bytes[20 + i], static_cast<uint8_t>(i + 1)) << "opaque byte " << i;
  }
}

TEST(ConfigRecord, AnyImageRoundTripsByteForByte) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const std::vector<uint8_t> source = Pattern(kConfigRecordBytes, seed);
    ConfigRecord record;
    OverlayConfigBytes(record, source.data(), source.size());
    const ConfigBytes image = ConfigRecordToBytes(record);
    ASSERT_TRUE(std::equal(image.begin(), image.end(), source.begin())) << "seed " << seed;
  }
}

TEST(ConfigRecord, EightBytesSetOnlyTheFirstTwoFields) {
  const uint8_t file[8] = {0x2C, 0x01, 0, 0, 2, 0, 0, 0};  // 300 and 2
  ConfigRecord record;
  OverlayConfigBytes(record, file, sizeof file);
  EXPECT_EQ(record.checkIntervalSeconds, 300);
  EXPECT_EQ(record.retryCount, 2);
  EXPECT_EQ(record.retryIntervalSeconds, 0);
  EXPECT_EQ(record.lastNoticeId, 0);
  EXPECT_EQ(record.softtype, 0);
}

// Every file length from empty to well past the record: the leading bytes are taken, the rest of
// the record keeps its earlier (zero) content and nothing is read or written out of bounds.
TEST(ConfigRecord, EveryLengthFillsOnlyTheLeadingBytes) {
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  lengths.push_back(10000);
  for (size_t length : lengths) {
    const std::vector<uint8_t> source = Pattern(length, static_cast<uint32_t>(length) + 7);
    ConfigRecord record;
    OverlayConfigBytes(record, source.data(), source.size());
    const ConfigBytes image = ConfigRecordToBytes(record);
    const size_t covered = std::min(length, kConfigRecordBytes);
    for (size_t i = 0; i < kConfigRecordBytes; ++i) {
      const uint8_t expected = i < covered ? source[i] : 0;
      ASSERT_EQ(image[i], expected) << "length " << length << " byte " << i;
    }
  }
}

TEST(ConfigRecord, ShortBytesKeepWhatTheRecordAlreadyHeld) {
  ConfigRecord record;
  record.retryIntervalSeconds = 120;
  record.opaque[219] = 0xAB;
  const uint8_t file[4] = {30, 0, 0, 0};
  OverlayConfigBytes(record, file, sizeof file);
  EXPECT_EQ(record.checkIntervalSeconds, 30);
  EXPECT_EQ(record.retryIntervalSeconds, 120);
  EXPECT_EQ(record.opaque[219], 0xAB);
  OverlayConfigBytes(record, nullptr, 50);  // no bytes at all: unchanged
  EXPECT_EQ(record.checkIntervalSeconds, 30);
}

TEST(ConfigRecord, CopiesCarryEveryFieldAndSettingsAreTheFirstThree) {
  ConfigRecord record;
  SetSettings(record, {600, 1, 10});
  record.lastNoticeId = 41;
  record.softtype = 2;
  record.opaque[0] = 9;
  const ConfigRecord copy = record;
  EXPECT_EQ(ConfigRecordToBytes(copy), ConfigRecordToBytes(record));
  const MonitorSettings settings = SettingsOf(copy);
  EXPECT_EQ(settings.checkIntervalSeconds, 600);
  EXPECT_EQ(settings.retryCount, 1);
  EXPECT_EQ(settings.retryIntervalSeconds, 10);
  const ConfigBytes bytes = ConfigRecordToBytes(copy);
  EXPECT_EQ(bytes[0] | bytes[1] << 8, 600);
}
