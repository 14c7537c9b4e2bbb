// The about box on the real platform: opened modally over the active window, its text and
// place, and every way it closes. A second thread finds the open box and works it from outside.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "shell/about_dlg_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/window_view_win.h"

using sitemon_test::FindOwnWindow;
using sitemon_test::WorkArea;

namespace {

class OwnerWindow {
 public:
  OwnerWindow(int x, int y, bool visible) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"AboutTestOwner";
    ::RegisterClassW(&wc);
    hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW, x, y, 400, 300, nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (visible) {
      ::ShowWindow(hwnd, SW_SHOWNORMAL);
      ::SetForegroundWindow(hwnd);
      ::SetActiveWindow(hwnd);
    }
  }
  ~OwnerWindow() { ::DestroyWindow(hwnd); }
  HWND hwnd;
};

struct SeenBox {
  std::atomic<bool> found{false};
  std::wstring text;
  RECT rect{};
  HWND owner = nullptr;
  BOOL ownerEnabled = TRUE;
};

// Waits (bounded) for our about box to appear, records what it shows, then does `act` to it.
void WorkTheBoxFromOutside(SeenBox& seen, const std::function<void(HWND)>& act) {
  HWND box = nullptr;
  const auto open = [&] {
    box = FindOwnWindow(L"#32770");
    return box != nullptr && ::GetDlgItem(box, IDC_ABOUT_TEXT) != nullptr && ::IsWindowVisible(box);
  };
  if (!sitemon_test::PollUntil(open, std::chrono::milliseconds(3000), std::chrono::milliseconds(10))) return;
  wchar_t text[256] = {};
  ::GetDlgItemTextW(box, IDC_ABOUT_TEXT, text, 256);
  seen.text = text;
  ::GetWindowRect(box, &seen.rect);
  seen.owner = ::GetWindow(box, GW_OWNER);
  if (seen.owner != nullptr) seen.ownerEnabled = ::IsWindowEnabled(seen.owner);
  seen.found = true;
  act(box);
}

void PostKey(HWND box, WPARAM key) {
  ::PostMessageW(box, WM_KEYDOWN, key, 0);
  ::PostMessageW(box, WM_KEYUP, key, 0xC0000000);
}

TEST(AboutBox, OpensOverTheActiveWindowWithNameVersionAndCopyright) {
  OwnerWindow owner(200, 150, true);
  ASSERT_EQ(::GetActiveWindow(), owner.hwnd);
  SeenBox seen;
  std::thread outside([&] { WorkTheBoxFromOutside(seen, [](HWND box) { PostKey(box, VK_ESCAPE); }); });
  OpenAboutBox();  // returns when the box is closed
  outside.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, owner.hwnd);
  EXPECT_FALSE(seen.ownerEnabled);  // modal: the owner is disabled while the box is open
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd));
  EXPECT_EQ(seen.text.substr(0, seen.text.find(L'\r')), L"Corvell网站监控 v1.1.0.0");
  EXPECT_NE(seen.text.find(L"\r\n\r\nCopyright"), std::wstring::npos);
  // Centred over the owner (integer halves may differ by one).
  RECT o{};
  ::GetWindowRect(owner.hwnd, &o);
  EXPECT_NEAR((seen.rect.left + seen.rect.right) / 2, (o.left + o.right) / 2, 1);
  EXPECT_NEAR((seen.rect.top + seen.rect.bottom) / 2, (o.top + o.bottom) / 2, 1);
}

TEST(AboutBox, WithAHiddenOwnerItIsCentredOnTheWorkArea) {
  OwnerWindow owner(0, 0, false);
  SeenBox seen;
  std::thread outside([&] { WorkTheBoxFromOutside(seen, [](HWND box) { PostKey(box, VK_RETURN); }); });
  CAboutDlg box;
  const INT_PTR result = box.DoModal(owner.hwnd);
  outside.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(result, IDOK);  // Enter
  const RECT work = WorkArea();
  EXPECT_NEAR((seen.rect.left + seen.rect.right) / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR((seen.rect.top + seen.rect.bottom) / 2, (work.top + work.bottom) / 2, 1);
}

TEST(AboutBox, AnOwnerOffTheScreenStillLeavesTheBoxInsideTheWorkArea) {
  const RECT work = WorkArea();
  OwnerWindow owner(work.right - 100, work.bottom - 80, true);
  SeenBox seen;
  std::thread outside([&] { WorkTheBoxFromOutside(seen, [](HWND box) { ::PostMessageW(box, WM_CLOSE, 0, 0); }); });
  CAboutDlg box;
  const INT_PTR result = box.DoModal(owner.hwnd);
  outside.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(result, IDCANCEL);  // the close command
  EXPECT_LE(seen.rect.right, work.right);
  EXPECT_LE(seen.rect.bottom, work.bottom);
  EXPECT_GE(seen.rect.left, work.left);
  EXPECT_GE(seen.rect.top, work.top);
}

TEST(AboutBox, AClickAnywhereClosesItWithZero) {
  SeenBox seen;
  std::thread outside([&] {
    WorkTheBoxFromOutside(seen, [](HWND box) { ::PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); });
  });
  CAboutDlg box;
  const INT_PTR result = box.DoModal(nullptr);
  outside.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(result, 0);
}

TEST(AboutBox, EscapeGivesCancel) {
  SeenBox seen;
  std::thread outside([&] { WorkTheBoxFromOutside(seen, [](HWND box) { PostKey(box, VK_ESCAPE); }); });
  CAboutDlg box;
  EXPECT_EQ(box.DoModal(nullptr), IDCANCEL);
  outside.join();
  EXPECT_TRUE(seen.found);
}

}  // namespace
