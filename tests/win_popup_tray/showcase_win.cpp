// Shows the popup and then the about box for a few seconds each, announcing each on stdout, so
// that a script can take screenshots of them (script: tests/win_popup_tray/screenshots.sh).
#include <windows.h>

#include <cstdio>

#include "shell/about_dlg_win.h"
#include "shell/show_notification_win.h"
#include "tests/support/message_pump_win.h"

using namespace std::chrono_literals;
using sitemon_test::FindOwnWindow;
using sitemon_test::PumpFor;

namespace {
void Announce(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}
}  // namespace

int wmain() {
  CMessageBoxDlg* popup = nullptr;
  ShowNotification(popup, 0, 0, u"", u"Dorvane提示");
  ShowNotification(popup, 1, 10, u"http://127.0.0.1:8080/shop 网页不存在", u"Dorvane提示");
  Announce("popup shown");
  PumpFor(3000ms);
  DestroyPopup(popup);

  // The about box closes itself after three seconds: a thread timer ends the modal loop.
  ::SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindOwnWindow(L"#32770");
    if (box != nullptr) ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  });
  ::SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    Announce("about shown");
  });
  OpenAboutBox();
  Announce("done");
  return 0;
}
