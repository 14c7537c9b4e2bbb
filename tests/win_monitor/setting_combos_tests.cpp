// The settings' choice lists on real combo boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/wide_text_win.h"
#include "res/resource.h"
#include "shell/settings_lists_win.h"

namespace {

class SettingCombosTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    for (int id : {IDC_CHECK_INTERVAL, IDC_RETRY_COUNT, IDC_RETRY_INTERVAL}) {
      // No CBS_SORT, as in the main window: entries stay at the positions they are inserted at.
      ASSERT_NE(CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 200, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr),
                nullptr);
    }
  }
  void TearDown() override {
    if (parent) DestroyWindow(parent);
  }
  U16 ItemText(int id, int index) const {
    wchar_t text[64] = {};
    SendDlgItemMessageW(parent, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return AsU16(text);
  }
  LRESULT Selected(int id) const { return SendDlgItemMessageW(parent, id, CB_GETCURSEL, 0, 0); }

  HWND parent = nullptr;
};

}  // namespace

TEST_F(SettingCombosTest, FillSelectAndRepairFromAZeroRecord) {
  MonitorSettings stored{};
  FillSettingCombos(parent, stored);
  EXPECT_EQ(SendDlgItemMessageW(parent, IDC_CHECK_INTERVAL, CB_GETCOUNT, 0, 0), 6);
  EXPECT_EQ(SendDlgItemMessageW(parent, IDC_RETRY_COUNT, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendDlgItemMessageW(parent, IDC_RETRY_INTERVAL, CB_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(ItemText(IDC_CHECK_INTERVAL, 0), u"30秒");
  EXPECT_EQ(ItemText(IDC_CHECK_INTERVAL, 5), u"15分钟");
  EXPECT_EQ(ItemText(IDC_RETRY_INTERVAL, 1), u"30秒");
  EXPECT_EQ(SendDlgItemMessageW(parent, IDC_CHECK_INTERVAL, CB_GETITEMDATA, 3, 0), 300);
  EXPECT_EQ(Selected(IDC_CHECK_INTERVAL), 1);
  EXPECT_EQ(Selected(IDC_RETRY_COUNT), 2);
  EXPECT_EQ(Selected(IDC_RETRY_INTERVAL), 1);
  EXPECT_EQ(stored.checkIntervalSeconds, 60);
  EXPECT_EQ(stored.retryCount, 3);
  EXPECT_EQ(stored.retryIntervalSeconds, 30);
}

TEST_F(SettingCombosTest, ReadBackTakesTheSelectedItemsData) {
  MonitorSettings stored{120, 2, 300};
  FillSettingCombos(parent, stored);
  EXPECT_EQ(Selected(IDC_CHECK_INTERVAL), 2);
  EXPECT_EQ(Selected(IDC_RETRY_COUNT), 1);
  EXPECT_EQ(Selected(IDC_RETRY_INTERVAL), 4);
  SendDlgItemMessageW(parent, IDC_CHECK_INTERVAL, CB_SETCURSEL, 5, 0);
  SendDlgItemMessageW(parent, IDC_RETRY_COUNT, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageW(parent, IDC_RETRY_INTERVAL, CB_SETCURSEL, 0, 0);
  MonitorSettings read{};
  ReadSettingCombos(parent, read);
  EXPECT_EQ(read.checkIntervalSeconds, 900);
  EXPECT_EQ(read.retryCount, 1);
  EXPECT_EQ(read.retryIntervalSeconds, 10);
  // With no selection the defaults are read, never CB_ERR.
  SendDlgItemMessageW(parent, IDC_RETRY_COUNT, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ReadSettingCombos(parent, read);
  EXPECT_EQ(read.retryCount, 3);
}
