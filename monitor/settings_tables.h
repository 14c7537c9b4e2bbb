#pragma once
// The three monitoring settings as fixed choice lists: their entries (label and value, in list
// order), the entry each list selects for a stored value (repairing values the list does not
// offer), and reading a setting back from a list's selection.
//
// The main window fills its combo boxes through IChoiceList (Win32: ComboBoxChoiceList in
// shell/settings_lists_win.h): each entry inserted at its explicit position with its value as
// item data, never sorted.
#include <cstddef>
#include <cstdint>

#include "monitor/site_probe_task.h"
#include "base/utf16.h"

struct SettingChoice {
  const char16_t* label;
  int32_t value;
};

struct SettingTable {
  const char16_t* caption;   // the setting's name, as the label beside its list reads
  const SettingChoice* choices;
  size_t count;
  int defaultPosition;       // selected when the stored value is not one of the choices
};

extern const SettingTable kCheckIntervalTable;  // 30 s ... 15 min, default 60
extern const SettingTable kRetryCountTable;     // 1 ... 3, default 3
extern const SettingTable kRetryIntervalTable;  // 10 s ... 5 min, default 30

// Position of the entry carrying value, or -1 when the table has none.
int PositionOfValue(const SettingTable& table, int32_t value);
// The value at a position; the default entry's value for a position outside the table.
int32_t ValueAtPosition(const SettingTable& table, int position);
// The position to select for a stored value. A value the table does not offer selects the
// default entry and is replaced by the default's value.
int SelectStoredValue(const SettingTable& table, int32_t& storedValue);

struct SettingPositions {
  int checkInterval;
  int retryCount;
  int retryInterval;
};
// SelectStoredValue for all three settings, in the order check interval, retry count, retry
// interval. A zero record (no stored file) gives 60, 3 and 30.
SettingPositions SelectStoredSettings(MonitorSettings& stored);

// One drop-down list as the settings code sees it.
class IChoiceList {
 public:
  virtual ~IChoiceList() = default;
  virtual void InsertAt(int position, U16View label, int32_t itemData) = 0;
  virtual void Select(int position) = 0;
  virtual int SelectedPosition() const = 0;         // negative when nothing is selected
  virtual bool ItemData(int position, int32_t& data) const = 0;  // false when no such item
};

// Inserts every entry of the table at its position with its value as item data, then selects
// the entry for the stored value (repairing it as SelectStoredValue does).
void FillChoiceList(IChoiceList& list, const SettingTable& table, int32_t& storedValue);
// The value stored with the selected item. With no selection, or item data the table does not
// offer, the default entry's value is taken, so a run never gets a value outside the table.
int32_t ReadChoiceList(const IChoiceList& list, const SettingTable& table);

// Start-up: fill the three lists and select (and repair) the stored settings.
void FillSettingLists(IChoiceList& checkInterval, IChoiceList& retryCount, IChoiceList& retryInterval,
                      MonitorSettings& stored);
// Start: read the three lists back into the settings.
void ReadSettingLists(const IChoiceList& checkInterval, const IChoiceList& retryCount,
                      const IChoiceList& retryInterval, MonitorSettings& settings);
