#pragma once
// A combo box as one of the settings' choice lists.
#include <windows.h>

#include "monitor/settings_tables.h"

class ComboBoxChoiceList final : public IChoiceList {
 public:
  explicit ComboBoxChoiceList(HWND combo) : combo_(combo) {}
  void InsertAt(int position, U16View label, int32_t itemData) override;
  void Select(int position) override;
  int SelectedPosition() const override;
  bool ItemData(int position, int32_t& data) const override;

 private:
  HWND combo_;
};

// Start-up and Start on the dialog's three combo boxes (IDC_CHECK_INTERVAL, IDC_RETRY_COUNT, IDC_RETRY_INTERVAL).
void FillSettingCombos(HWND dialog, MonitorSettings& stored);
void ReadSettingCombos(HWND dialog, MonitorSettings& settings);
