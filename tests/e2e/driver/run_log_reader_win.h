#pragma once
// Rows of the program's run log (list view IDC_RUN_LOG), read and written through a block of
// memory in the program's process: list-view messages carry pointers that are not marshalled.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/unique_handle_win.h"
#include "tests/support/remote_block_win.h"
#include "tests/support/window_view_win.h"

class RunLogReader {
 public:
  explicit RunLogReader(HWND list)
      : list_(list), process_(sitemon_test::OpenForMemory(list)),
        block_(process_.get(), sizeof(LVITEMW) + sitemon_test::kRemoteTextUnits * sizeof(wchar_t)) {}
  bool ok() const { return static_cast<bool>(process_) && static_cast<bool>(block_); }

  long long Count() const {
    LRESULT count = -1;
    return sitemon_test::SendWithTimeout(list_, LVM_GETITEMCOUNT, 0, 0, count) ? count : -1;
  }
  bool Row(long long index, std::wstring& text) const {
    LVITEMW item{};
    item.pszText = static_cast<LPWSTR>(block_.At(sizeof(LVITEMW)));
    item.cchTextMax = static_cast<int>(sitemon_test::kRemoteTextUnits);
    LRESULT length = 0;
    text.assign(sitemon_test::kRemoteTextUnits, L'\0');
    if (!block_.Write(0, &item, sizeof item) ||
        !sitemon_test::SendWithTimeout(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block_.At(0)),
                         length) ||
        length < 0 || static_cast<size_t>(length) >= sitemon_test::kRemoteTextUnits ||
        !block_.Read(sizeof(LVITEMW), text.data(), sitemon_test::kRemoteTextUnits * sizeof(wchar_t))) {
      return false;
    }
    text.resize(static_cast<size_t>(length));
    return true;
  }
  // Inserts `text` as the top row, as the window's own insert does.
  bool InsertTop(const std::wstring& text) const {
    if (text.size() + 1 > sitemon_test::kRemoteTextUnits) return false;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.pszText = static_cast<LPWSTR>(block_.At(sizeof(LVITEMW)));
    LRESULT index = -1;
    return block_.Write(sizeof(LVITEMW), text.c_str(), (text.size() + 1) * sizeof(wchar_t)) &&
           block_.Write(0, &item, sizeof item) &&
           sitemon_test::SendWithTimeout(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(block_.At(0)), index) && index == 0;
  }

 private:
  HWND list_;
  UniqueKernelHandle process_;
  sitemon_test::RemoteBlock block_;
};
