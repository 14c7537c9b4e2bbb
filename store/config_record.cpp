#include "store/config_record.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kOpaqueOffset = 20;

void PutInt32(uint8_t* at, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t GetInt32(const uint8_t* at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
  return static_cast<int32_t>(v);
}

}  // namespace

ConfigBytes ConfigRecordToBytes(const ConfigRecord& record) {
  ConfigBytes bytes{};
  PutInt32(&bytes[0], record.checkIntervalSeconds);
  PutInt32(&bytes[4], record.retryCount);
  PutInt32(&bytes[8], record.retryIntervalSeconds);
  PutInt32(&bytes[12], record.lastNoticeId);
  PutInt32(&bytes[16], record.softtype);
  std::memcpy(&bytes[kOpaqueOffset], record.opaque, kConfigOpaqueBytes);
  return bytes;
}

void OverlayConfigBytes(ConfigRecord& record, const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size == 0) return;
  ConfigBytes image = ConfigRecordToBytes(record);
  std::memcpy(image.data(), bytes, std::min(size, kConfigRecordBytes));
  record.checkIntervalSeconds = GetInt32(&image[0]);
  record.retryCount = GetInt32(&image[4]);
  record.retryIntervalSeconds = GetInt32(&image[8]);
  record.lastNoticeId = GetInt32(&image[12]);
  record.softtype = GetInt32(&image[16]);
  std::memcpy(record.opaque, &image[kOpaqueOffset], kConfigOpaqueBytes);
}

MonitorSettings SettingsOf(const ConfigRecord& record) {
  return {record.checkIntervalSeconds, record.retryCount, record.retryIntervalSeconds};
}

void SetSettings(ConfigRecord& record, const MonitorSettings& settings) {
  record.checkIntervalSeconds = settings.checkIntervalSeconds;
  record.retryCount = settings.retryCount;
  record.retryIntervalSeconds = settings.retryIntervalSeconds;
}
