#include "shell/settings_lists_win.h"

#include "base/wide_text_win.h"
#include "res/resource.h"

void ComboBoxChoiceList::InsertAt(int position, U16View label, int32_t itemData) {
  const U16 text(label);  // the control needs a terminated string
  const LRESULT index = ::SendMessageW(combo_, CB_INSERTSTRING, static_cast<WPARAM>(position),
                                       reinterpret_cast<LPARAM>(AsWide(text.c_str())));
  if (index >= 0) ::SendMessageW(combo_, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(itemData));
}

void ComboBoxChoiceList::Select(int position) {
  ::SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int ComboBoxChoiceList::SelectedPosition() const {
  return static_cast<int>(::SendMessageW(combo_, CB_GETCURSEL, 0, 0));
}

bool ComboBoxChoiceList::ItemData(int position, int32_t& data) const {
  const LRESULT count = ::SendMessageW(combo_, CB_GETCOUNT, 0, 0);
  if (position < 0 || position >= count) return false;
  const LRESULT value = ::SendMessageW(combo_, CB_GETITEMDATA, static_cast<WPARAM>(position), 0);
  if (value == CB_ERR) return false;
  data = static_cast<int32_t>(value);
  return true;
}

void FillSettingCombos(HWND dialog, MonitorSettings& stored) {
  ComboBoxChoiceList check(::GetDlgItem(dialog, IDC_CHECK_INTERVAL));
  ComboBoxChoiceList count(::GetDlgItem(dialog, IDC_RETRY_COUNT));
  ComboBoxChoiceList interval(::GetDlgItem(dialog, IDC_RETRY_INTERVAL));
  FillSettingLists(check, count, interval, stored);
}

void ReadSettingCombos(HWND dialog, MonitorSettings& settings) {
  const ComboBoxChoiceList check(::GetDlgItem(dialog, IDC_CHECK_INTERVAL));
  const ComboBoxChoiceList count(::GetDlgItem(dialog, IDC_RETRY_COUNT));
  const ComboBoxChoiceList interval(::GetDlgItem(dialog, IDC_RETRY_INTERVAL));
  ReadSettingLists(check, count, interval, settings);
}
