// Fuzzes Config.dat as start-up reads it: any bytes, of any length, are the file; they are loaded
// over a zero record, the three settings are repaired through the choice lists, and the record is
// saved and loaded again. Checks the fields against the file's little-endian layout, that the
// settings always end up as list entries, that the opaque block is carried through untouched and
// that a save is exactly 240 bytes that load back to the same record.
//
// Input: the last three bytes are the positions selected in the three lists when Start reads them
// (signed bytes, out of range included: check interval last, then retry count, then retry
// interval); everything before them is the file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "monitor/settings_tables.h"
#include "store/stored_state.h"

namespace {

const U16 kConfigPath = u"/data/DorvaneSiteMonitor/Config.dat";

// The values each list offers and the one it falls back to.
struct Allowed {
  std::vector<int32_t> values;
  int32_t fallback;
  bool Has(int32_t v) const {
    for (int32_t a : values)
      if (a == v) return true;
    return false;
  }
  int32_t Repaired(int32_t v) const { return Has(v) ? v : fallback; }
};
const Allowed kCheckInterval{{30, 60, 120, 300, 600, 900}, 60};
const Allowed kRetryCount{{1, 2, 3}, 3};
const Allowed kRetryInterval{{10, 30, 60, 120, 300}, 30};

// The file's byte at an offset; a short file reads as zero beyond its end.
uint8_t FileByte(const uint8_t* data, size_t size, size_t at) { return at < size ? data[at] : 0; }
int32_t FileInt(const uint8_t* data, size_t size, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(FileByte(data, size, at + i)) << (8 * i);
  return static_cast<int32_t>(v);
}

// A drop-down list in memory.
class MemoryChoiceList : public IChoiceList {
 public:
  void InsertAt(int position, U16View label, int32_t itemData) override {
    FUZZ_REQUIRE(position == static_cast<int>(items.size()));  // filled in order, never sorted
    items.push_back({U16(label), itemData});
  }
  void Select(int position) override { selected = position; }
  int SelectedPosition() const override { return selected; }
  bool ItemData(int position, int32_t& data) const override {
    if (position < 0 || static_cast<size_t>(position) >= items.size()) return false;
    data = items[static_cast<size_t>(position)].data;
    return true;
  }
  struct Item {
    U16 label;
    int32_t data;
  };
  std::vector<Item> items;
  int selected = -1;
};

void CheckFilledList(const MemoryChoiceList& list, const Allowed& allowed, int32_t repaired) {
  FUZZ_REQUIRE(list.items.size() == allowed.values.size());
  for (size_t i = 0; i < list.items.size(); ++i) {
    FUZZ_REQUIRE(list.items[i].data == allowed.values[i]);
    FUZZ_REQUIRE(!list.items[i].label.empty());
  }
  int32_t data = 0;
  FUZZ_REQUIRE(list.ItemData(list.selected, data) && data == repaired);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  FuzzedDataProvider in(input, inputSize);
  const int8_t checkPick = in.ConsumeIntegral<int8_t>();
  const int8_t countPick = in.ConsumeIntegral<int8_t>();
  const int8_t intervalPick = in.ConsumeIntegral<int8_t>();
  const FileBytes file = in.ConsumeRemainingBytes<uint8_t>();
  const uint8_t* data = file.data();
  const size_t size = file.size();

  MemoryStoreFiles files;
  files.files[kConfigPath] = file;

  // Load over the record the main window constructs (all zero).
  ConfigRecord record;
  LoadConfig(files, kConfigPath, record);
  FUZZ_REQUIRE(record.checkIntervalSeconds == FileInt(data, size, 0));
  FUZZ_REQUIRE(record.retryCount == FileInt(data, size, 4));
  FUZZ_REQUIRE(record.retryIntervalSeconds == FileInt(data, size, 8));
  FUZZ_REQUIRE(record.lastNoticeId == FileInt(data, size, 12));
  FUZZ_REQUIRE(record.softtype == kSoftType);
  for (size_t i = 0; i < kConfigOpaqueBytes; ++i) FUZZ_REQUIRE(record.opaque[i] == FileByte(data, size, 20 + i));

  // Repair through the three lists, as the window's initialisation fills them.
  MonitorSettings stored = SettingsOf(record);
  MemoryChoiceList check, count, interval;
  FillSettingLists(check, count, interval, stored);
  SetSettings(record, stored);
  FUZZ_REQUIRE(record.checkIntervalSeconds == kCheckInterval.Repaired(FileInt(data, size, 0)));
  FUZZ_REQUIRE(record.retryCount == kRetryCount.Repaired(FileInt(data, size, 4)));
  FUZZ_REQUIRE(record.retryIntervalSeconds == kRetryInterval.Repaired(FileInt(data, size, 8)));
  CheckFilledList(check, kCheckInterval, record.checkIntervalSeconds);
  CheckFilledList(count, kRetryCount, record.retryCount);
  CheckFilledList(interval, kRetryInterval, record.retryIntervalSeconds);

  // The repair through the lists and the one without them agree.
  MonitorSettings direct{FileInt(data, size, 0), FileInt(data, size, 4), FileInt(data, size, 8)};
  const SettingPositions positions = SelectStoredSettings(direct);
  FUZZ_REQUIRE(positions.checkInterval == check.selected && positions.retryCount == count.selected &&
               positions.retryInterval == interval.selected);
  FUZZ_REQUIRE(direct.checkIntervalSeconds == stored.checkIntervalSeconds &&
               direct.retryCount == stored.retryCount && direct.retryIntervalSeconds == stored.retryIntervalSeconds);

  // Start reads the lists back: the repaired values, and an entry of the table whatever the
  // selection (the input's picks, out of range included).
  MonitorSettings read;
  ReadSettingLists(check, count, interval, read);
  FUZZ_REQUIRE(read.checkIntervalSeconds == stored.checkIntervalSeconds && read.retryCount == stored.retryCount &&
               read.retryIntervalSeconds == stored.retryIntervalSeconds);
  check.selected = checkPick;
  count.selected = countPick;
  interval.selected = intervalPick;
  ReadSettingLists(check, count, interval, read);
  FUZZ_REQUIRE(kCheckInterval.Has(read.checkIntervalSeconds));
  FUZZ_REQUIRE(kRetryCount.Has(read.retryCount));
  FUZZ_REQUIRE(kRetryInterval.Has(read.retryIntervalSeconds));

  // Save: exactly 240 bytes, the fields little-endian, the opaque block as read.
  FUZZ_REQUIRE(SaveConfig(files, kConfigPath, record));
  FUZZ_REQUIRE(files.files.size() == 1);  // no temporary file left behind
  const FileBytes saved = files.files[kConfigPath];
  FUZZ_REQUIRE(saved.size() == kConfigRecordBytes);
  FUZZ_REQUIRE(FileInt(saved.data(), saved.size(), 0) == record.checkIntervalSeconds);
  FUZZ_REQUIRE(FileInt(saved.data(), saved.size(), 4) == record.retryCount);
  FUZZ_REQUIRE(FileInt(saved.data(), saved.size(), 8) == record.retryIntervalSeconds);
  FUZZ_REQUIRE(FileInt(saved.data(), saved.size(), 12) == FileInt(data, size, 12));
  FUZZ_REQUIRE(FileInt(saved.data(), saved.size(), 16) == kSoftType);
  for (size_t i = 20; i < kConfigRecordBytes; ++i) FUZZ_REQUIRE(saved[i] == FileByte(data, size, i));

  // Reload into a fresh record: the same record, which needs no repair, and saving it again
  // gives the same bytes.
  ConfigRecord reloaded;
  LoadConfig(files, kConfigPath, reloaded);
  FUZZ_REQUIRE(ConfigRecordToBytes(reloaded) == ConfigRecordToBytes(record));
  MonitorSettings again = SettingsOf(reloaded);
  SelectStoredSettings(again);
  FUZZ_REQUIRE(again.checkIntervalSeconds == reloaded.checkIntervalSeconds &&
               again.retryCount == reloaded.retryCount && again.retryIntervalSeconds == reloaded.retryIntervalSeconds);
  FUZZ_REQUIRE(SaveConfig(files, kConfigPath, reloaded));
  FUZZ_REQUIRE(files.files[kConfigPath] == saved);

  // A short file over a record that already holds values changes only the bytes it covers.
  ConfigRecord filled;
  uint8_t pattern[kConfigRecordBytes];
  std::memset(pattern, 0xA5, sizeof pattern);
  OverlayConfigBytes(filled, pattern, sizeof pattern);
  OverlayConfigBytes(filled, data, size);
  const ConfigBytes image = ConfigRecordToBytes(filled);
  for (size_t i = 0; i < kConfigRecordBytes; ++i) FUZZ_REQUIRE(image[i] == (i < size ? data[i] : 0xA5));
  return 0;
}
