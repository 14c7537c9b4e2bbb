#pragma once
// The settings record stored as Config.dat: 240 bytes, little-endian integers, then an opaque
// block this program never interprets but must write back exactly as it read it.
#include <array>
#include <cstddef>
#include <cstdint>

#include "store/monitor_settings.h"

constexpr size_t kConfigRecordBytes = 240;
constexpr size_t kConfigOpaqueBytes = 220;
constexpr int32_t kSoftType = 2;

using ConfigBytes = std::array<uint8_t, kConfigRecordBytes>;

struct ConfigRecord {
  int32_t checkIntervalSeconds = 0;
  int32_t retryCount = 0;
  int32_t retryIntervalSeconds = 0;
  // Read and written on the main thread only; the notice thread raises its own copy in the
  // notice link, which the main window takes over when it saves.
  int32_t lastNoticeId = 0;
  int32_t softtype = 0;
  uint8_t opaque[kConfigOpaqueBytes] = {};
};
static_assert(sizeof(ConfigRecord) == kConfigRecordBytes, "Config.dat is the record's image");

// The record's image as stored, integers little-endian whatever the host's order.
ConfigBytes ConfigRecordToBytes(const ConfigRecord& record);

// Lays the first min(size, 240) bytes over the record's image: a short file changes only the
// fields it covers, bytes past the 240th are ignored.
void OverlayConfigBytes(ConfigRecord& record, const uint8_t* bytes, size_t size);

// The first three fields are the monitoring settings.
MonitorSettings SettingsOf(const ConfigRecord& record);
void SetSettings(ConfigRecord& record, const MonitorSettings& settings);
