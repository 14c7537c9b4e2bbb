#include "monitor/settings_tables.h"

namespace {

constexpr SettingChoice kCheckIntervalChoices[] = {
    {u"30秒", 30}, {u"1分钟", 60}, {u"2分钟", 120}, {u"5分钟", 300}, {u"10分钟", 600}, {u"15分钟", 900},
};
constexpr SettingChoice kRetryCountChoices[] = {
    {u"1次", 1}, {u"2次", 2}, {u"3次", 3},
};
constexpr SettingChoice kRetryIntervalChoices[] = {
    {u"10秒", 10}, {u"30秒", 30}, {u"1分钟", 60}, {u"2分钟", 120}, {u"5分钟", 300},
};

template <size_t N>
constexpr size_t CountOf(const SettingChoice (&)[N]) { return N; }

}  // namespace

const SettingTable kCheckIntervalTable = {u"监控频率", kCheckIntervalChoices, CountOf(kCheckIntervalChoices), 1};
const SettingTable kRetryCountTable = {u"重试次数", kRetryCountChoices, CountOf(kRetryCountChoices), 2};
const SettingTable kRetryIntervalTable = {u"重试间隔", kRetryIntervalChoices, CountOf(kRetryIntervalChoices), 1};

int PositionOfValue(const SettingTable& table, int32_t value) {
  for (size_t i = 0; i < table.count; ++i)
    if (table.choices[i].value == value) return static_cast<int>(i);
  return -1;
}

int32_t ValueAtPosition(const SettingTable& table, int position) {
  if (position < 0 || static_cast<size_t>(position) >= table.count) position = table.defaultPosition;
  return table.choices[position].value;
}

int SelectStoredValue(const SettingTable& table, int32_t& storedValue) {
  const int position = PositionOfValue(table, storedValue);
  if (position >= 0) return position;
  storedValue = table.choices[table.defaultPosition].value;
  return table.defaultPosition;
}

SettingPositions SelectStoredSettings(MonitorSettings& stored) {
  SettingPositions p{};
  p.checkInterval = SelectStoredValue(kCheckIntervalTable, stored.checkIntervalSeconds);
  p.retryCount = SelectStoredValue(kRetryCountTable, stored.retryCount);
  p.retryInterval = SelectStoredValue(kRetryIntervalTable, stored.retryIntervalSeconds);
  return p;
}

void FillChoiceList(IChoiceList& list, const SettingTable& table, int32_t& storedValue) {
  for (size_t i = 0; i < table.count; ++i)
    list.InsertAt(static_cast<int>(i), table.choices[i].label, table.choices[i].value);
  list.Select(SelectStoredValue(table, storedValue));
}

int32_t ReadChoiceList(const IChoiceList& list, const SettingTable& table) {
  int32_t data = 0;
  const int position = list.SelectedPosition();
  if (position >= 0 && list.ItemData(position, data) && PositionOfValue(table, data) >= 0) return data;
  return ValueAtPosition(table, table.defaultPosition);
}

void FillSettingLists(IChoiceList& checkInterval, IChoiceList& retryCount, IChoiceList& retryInterval,
                      MonitorSettings& stored) {
  FillChoiceList(checkInterval, kCheckIntervalTable, stored.checkIntervalSeconds);
  FillChoiceList(retryCount, kRetryCountTable, stored.retryCount);
  FillChoiceList(retryInterval, kRetryIntervalTable, stored.retryIntervalSeconds);
}

void ReadSettingLists(const IChoiceList& checkInterval, const IChoiceList& retryCount,
                      const IChoiceList& retryInterval, MonitorSettings& settings) {
  settings.checkIntervalSeconds = ReadChoiceList(checkInterval, kCheckIntervalTable);
  settings.retryCount = ReadChoiceList(retryCount, kRetryCountTable);
  settings.retryIntervalSeconds = ReadChoiceList(retryInterval, kRetryIntervalTable);
}
