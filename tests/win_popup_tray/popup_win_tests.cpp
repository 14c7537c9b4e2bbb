// The notification popup on the real platform: placement, z-order, activation, countdown,
// buttons, self-release and resource use.
#include <gtest/gtest.h>

#include <vector>

#include "base/wide_text_win.h"
#include "res/resource.h"
#include "shell/show_notification_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/resource_counts_win.h"
#include "tests/support/window_view_win.h"

using namespace std::chrono_literals;
using sitemon_test::CountResources;
using sitemon_test::PumpFor;
using sitemon_test::PumpUntil;
using sitemon_test::ResourceCounts;
using sitemon_test::WorkArea;

namespace {

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[600] = {};
  ::GetDlgItemTextW(dialog, id, text, 600);
  return text;
}

// A visible, active window of the test, standing in for whatever the user works in.
class ActiveWindow {
 public:
  ActiveWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PopupTestActive";
    ::RegisterClassW(&wc);
    hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"active", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                             300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    ::SetForegroundWindow(hwnd);
    ::SetActiveWindow(hwnd);
  }
  ~ActiveWindow() { ::DestroyWindow(hwnd); }
  HWND hwnd;
};

class PopupTest : public ::testing::Test {
 protected:
  void TearDown() override {
    DestroyPopup(popup);
    EXPECT_EQ(popup, nullptr);
  }
  HWND Window() const { return popup != nullptr ? popup->m_hWnd : nullptr; }
  bool Visible() const { return popup != nullptr && ::IsWindowVisible(popup->m_hWnd); }

  CMessageBoxDlg* popup = nullptr;  // the owner's slot, as the main window holds it
};

TEST_F(PopupTest, FirstHideRequestCreatesThePopupHiddenWithItsTitle) {
  EXPECT_EQ(ShowNotification(popup, 0, 0, u"", u"Dorvane提示"), 1);
  ASSERT_NE(popup, nullptr);
  HWND w = Window();
  EXPECT_TRUE(::IsWindow(w));
  EXPECT_FALSE(::IsWindowVisible(w));
  EXPECT_EQ(ItemText(w, IDC_POPUP_TITLE), L"Dorvane提示");  // the template's "Corvell提示" is gone
  EXPECT_EQ(ItemText(w, IDC_POPUP_TEXT), L"");
  EXPECT_EQ(::GetWindow(w, GW_OWNER), nullptr);  // parent is the desktop: no owner
  EXPECT_NE(::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(popup->Countdown(), 60);
}

TEST_F(PopupTest, CreatingThePopupTakesNeitherActivationNorFocus) {
  ActiveWindow other;
  ASSERT_EQ(::GetActiveWindow(), other.hwnd);
  ShowNotification(popup, 0, 0, u"", u"Dorvane提示");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(::GetActiveWindow(), other.hwnd);
  EXPECT_EQ(::GetFocus(), other.hwnd);
}

TEST_F(PopupTest, InitialisationPlacesOkButtonAndSetsTheBoldTitleFont) {
  ShowNotification(popup, 0, 0, u"", u"t");
  HWND w = Window();
  RECT client{};
  ::GetClientRect(w, &client);
  HWND ok = ::GetDlgItem(w, IDOK);
  RECT button{};
  ::GetWindowRect(ok, &button);
  ::MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&button), 2);
  const int width = button.right - button.left;
  const int height = button.bottom - button.top;
  EXPECT_EQ(button.left, (client.right - width) / 2);
  EXPECT_EQ(button.top, static_cast<int>(client.bottom - 1.5 * height));
  // Both buttons are drawn by the popup; Cancel stays hidden.
  EXPECT_EQ(::GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(w, IDCANCEL)));

  HFONT font = reinterpret_cast<HFONT>(::SendDlgItemMessageW(w, IDC_POPUP_TITLE, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW lf{};
  ASSERT_NE(::GetObjectW(font, sizeof(lf), &lf), 0);
  EXPECT_EQ(lf.lfHeight, 14);
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_EQ(lf.lfCharSet, 134);
  EXPECT_STREQ(lf.lfFaceName, L"宋体");
}

TEST_F(PopupTest, ShowSlidesIntoTheCornerTopmostWithoutTakingActivation) {
  ActiveWindow other;
  ASSERT_EQ(::GetActiveWindow(), other.hwnd);
  ShowNotification(popup, 1, 3, u"http://127.0.0.1/ 网页不存在", u"Dorvane提示");
  ASSERT_NE(popup, nullptr);
  HWND w = Window();
  EXPECT_TRUE(::IsWindowVisible(w));
  RECT r{};
  ::GetWindowRect(w, &r);
  const RECT work = WorkArea();
  EXPECT_EQ(r.right, work.right);
  EXPECT_EQ(r.bottom, work.bottom);
  EXPECT_NE(::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(::GetActiveWindow(), other.hwnd);
  EXPECT_NE(::GetForegroundWindow(), w);
  EXPECT_EQ(ItemText(w, IDC_POPUP_TEXT), L"http://127.0.0.1/ 网页不存在");
  EXPECT_EQ(ItemText(w, IDC_POPUP_TITLE), L"Dorvane提示");
  EXPECT_EQ(popup->Countdown(), 3);
}

TEST_F(PopupTest, ShownForThreeSecondsFadesAtTheThirdTick) {
  ShowNotification(popup, 1, 3, u"three", u"t");
  ASSERT_TRUE(Visible());
  // The countdown's own timer ticks; still up after its first tick.
  ASSERT_TRUE(PumpUntil([&] { return popup->Countdown() < 3; }, 10s));
  EXPECT_TRUE(Visible());
  // The other two ticks by hand (no message is pumped meanwhile, so the timer adds none): the
  // popup fades at the third, whatever the machine's speed.
  ASSERT_EQ(popup->Countdown(), 2);
  ::SendMessageW(Window(), WM_TIMER, CMessageBoxDlg::kCountdownTimer, 0);
  EXPECT_TRUE(Visible());
  ::SendMessageW(Window(), WM_TIMER, CMessageBoxDlg::kCountdownTimer, 0);
  EXPECT_FALSE(Visible());
  EXPECT_EQ(popup->Countdown(), 60);
  ASSERT_NE(popup, nullptr);  // hidden, not destroyed
  EXPECT_TRUE(::IsWindow(Window()));
}

TEST_F(PopupTest, SecondShowWhileVisibleReplacesTextAndRestartsTheCountdown) {
  ShowNotification(popup, 1, 0, u"first", u"t");
  EXPECT_EQ(popup->Countdown(), 60);
  ASSERT_TRUE(PumpUntil([&] { return popup->Countdown() < 60; }, 2500ms));
  CMessageBoxDlg* same = popup;
  // The user dragged it away meanwhile.
  ::SetWindowPos(Window(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowNotification(popup, 1, 5, u"second", u"t2");
  EXPECT_EQ(popup, same);  // one popup, reused
  EXPECT_TRUE(Visible());
  EXPECT_EQ(popup->Countdown(), 5);
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), L"second");
  RECT r{};
  ::GetWindowRect(Window(), &r);
  EXPECT_EQ(r.right, WorkArea().right);
  EXPECT_EQ(r.bottom, WorkArea().bottom);
}

TEST_F(PopupTest, NegativeSecondsKeepTheCountdownAndEmptyTextsKeepTheTexts) {
  ShowNotification(popup, 1, 10, u"body", u"title");
  ASSERT_TRUE(PumpUntil([&] { return popup->Countdown() <= 9; }, 2500ms));
  const int left = popup->Countdown();
  ShowNotification(popup, 1, -1, u"", u"");
  EXPECT_EQ(popup->Countdown(), left);
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), L"body");
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TITLE), L"title");
  EXPECT_TRUE(Visible());
  // A hidden popup has counted back to 60; a negative show keeps that.
  ShowNotification(popup, 0, 0, u"", u"");
  ASSERT_TRUE(PumpUntil([&] { return popup->Countdown() == 60; }, 2500ms));
  ShowNotification(popup, 1, -5, u"again", u"");
  EXPECT_EQ(popup->Countdown(), 60);
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TITLE), L"");  // a non-empty text replaces both
}

TEST_F(PopupTest, HideRequestsLeaveTheCountdownAloneAndMayChangeTheText) {
  ShowNotification(popup, 1, 7, u"up", u"t");
  ShowNotification(popup, 0, 3, u"fading", u"t");
  EXPECT_FALSE(Visible());
  EXPECT_EQ(popup->Countdown(), 7);
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), L"fading");
  // Hiding a hidden popup changes nothing visible.
  ShowNotification(popup, 0, 0, u"", u"");
  EXPECT_FALSE(Visible());
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), L"fading");
}

TEST_F(PopupTest, OkHidesAtOnceAndTheNextTickResetsTheCount) {
  ShowNotification(popup, 1, 30, u"x", u"t");
  ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_FALSE(Visible());
  EXPECT_EQ(popup->Countdown(), 30);
  EXPECT_TRUE(PumpUntil([&] { return popup->Countdown() == 60; }, 2500ms));
  ASSERT_NE(popup, nullptr);
}

TEST_F(PopupTest, ATimerOtherThanTheCountdownIsIgnored) {
  ShowNotification(popup, 1, 30, u"x", u"t");
  ::SendMessageW(Window(), WM_TIMER, 2, 0);
  ::SendMessageW(Window(), WM_TIMER, 2, 0);
  EXPECT_EQ(popup->Countdown(), 30);
  ::SendMessageW(Window(), WM_TIMER, 1, 0);
  EXPECT_EQ(popup->Countdown(), 29);
}

TEST_F(PopupTest, CancelReleasesThePopupAndTheNextNotificationCreatesAFreshOne) {
  ShowNotification(popup, 1, 30, u"x", u"t");
  HWND old = Window();
  HFONT font = reinterpret_cast<HFONT>(::SendDlgItemMessageW(old, IDC_POPUP_TITLE, WM_GETFONT, 0, 0));
  ASSERT_NE(::GetObjectType(font), 0u);
  ::SendMessageW(old, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(popup, nullptr);  // the owner's slot was cleared by the popup itself
  EXPECT_FALSE(::IsWindow(old));
  EXPECT_EQ(::GetObjectType(font), 0u);  // the title font went with it

  ShowNotification(popup, 1, 4, u"fresh", u"t");
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(Visible());
  EXPECT_EQ(popup->Countdown(), 4);
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), L"fresh");
}

TEST_F(PopupTest, CloseRequestActsAsCancel) {
  ShowNotification(popup, 1, 30, u"x", u"t");
  HWND old = Window();
  ::SendMessageW(old, WM_CLOSE, 0, 0);  // what Alt+F4 sends; the dialog turns it into Cancel
  EXPECT_TRUE(PumpUntil([&] { return popup == nullptr; }, 2000ms));
  EXPECT_FALSE(::IsWindow(old));
  ShowNotification(popup, 0, 0, u"", u"Dorvane提示");
  EXPECT_NE(popup, nullptr);
}

TEST_F(PopupTest, OwnerDestroyingThePopupClearsItsSlot) {
  ShowNotification(popup, 1, 30, u"x", u"t");
  HWND old = Window();
  DestroyPopup(popup);
  EXPECT_EQ(popup, nullptr);
  EXPECT_FALSE(::IsWindow(old));
  DestroyPopup(popup);  // nothing left to destroy
  EXPECT_EQ(popup, nullptr);
}

// Watches what this thread sends to one window.
class SentMessageSpy {
 public:
  explicit SentMessageSpy(HWND target) {
    s_target = target;
    s_seen.clear();
    hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, Record, nullptr, ::GetCurrentThreadId());
  }
  ~SentMessageSpy() { ::UnhookWindowsHookEx(hook_); }
  static bool Saw(UINT message, WPARAM wParam) {
    for (const auto& m : s_seen)
      if (m.message == message && m.wParam == wParam) return true;
    return false;
  }

 private:
  static LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == s_target) s_seen.push_back(*sent);
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline HWND s_target = nullptr;
  static inline std::vector<CWPSTRUCT> s_seen;
  HHOOK hook_;
};

TEST_F(PopupTest, APressOnThePopupStartsACaptionDrag) {
  ShowNotification(popup, 1, 30, u"x", u"t");
  SentMessageSpy spy(Window());
  RECT before{};
  ::GetWindowRect(Window(), &before);
  // The platform's move loop reads this thread's queue: a waiting Escape ends it at once.
  ::PostMessageW(Window(), WM_KEYDOWN, VK_ESCAPE, 0);
  ::SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  RECT after{};
  ::GetWindowRect(Window(), &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_TRUE(SentMessageSpy::Saw(WM_NCLBUTTONDOWN, HTCAPTION));
  EXPECT_TRUE(Visible());
}

TEST_F(PopupTest, LongTextsAreCutToTheirFields) {
  const U16 text(300, u'长');
  const U16 title(60, u'T');
  ShowNotification(popup, 1, 30, text, title);
  EXPECT_EQ(U16(popup->Text()), U16(259, u'长'));
  EXPECT_EQ(U16(popup->Title()), U16(49, u'T'));
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), std::wstring(259, L'长'));
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TITLE), std::wstring(49, L'T'));
}

void PrintCounts(const char* what, const ResourceCounts& before, const ResourceCounts& after) {
  printf("%s: GDI objects %u -> %u, windows %u -> %u, handles %u -> %u\n", what, before.gdiObjects,
         after.gdiObjects, before.windows, after.windows, before.kernelHandles, after.kernelHandles);
}

TEST_F(PopupTest, AThousandNotificationsLeaveResourceUseFlat) {
  ShowNotification(popup, 0, 0, u"", u"Dorvane提示");
  ShowNotification(popup, 1, 3, u"warm-up", u"Dorvane提示");
  const ResourceCounts before = CountResources();
  CMessageBoxDlg* const first = popup;
  for (int i = 0; i < 1000; ++i) {
    const U16 text = u"http://127.0.0.1:" + U16Decimal(8000 + i) + u"/ 网页不存在";
    ShowNotification(popup, 1, (i % 4) * 5, text, u"Dorvane提示");
    if (i % 100 == 99) PumpFor(0ms);
  }
  const ResourceCounts after = CountResources();
  EXPECT_EQ(popup, first);
  EXPECT_TRUE(Visible());
  EXPECT_EQ(ItemText(Window(), IDC_POPUP_TEXT), L"http://127.0.0.1:8999/ 网页不存在");
  // The counts must be real ones, not the zeros of an unimplemented call.
  ASSERT_GT(before.gdiObjects, 0u);
  ASSERT_GT(before.windows, 0u);
  ASSERT_GT(before.kernelHandles, 0u);
  EXPECT_LE(after.gdiObjects, before.gdiObjects + 2);
  EXPECT_LE(after.windows, before.windows);
  EXPECT_LE(after.kernelHandles, before.kernelHandles + 2);
  PrintCounts("1000 notifications", before, after);
}

TEST_F(PopupTest, ThreeHundredCreateAndCancelCyclesFreeEveryFont) {
  const ResourceCounts before = CountResources();
  int freedFonts = 0;
  for (int i = 0; i < 300; ++i) {
    ShowNotification(popup, 1, 3, u"cycle", u"t");
    ASSERT_NE(popup, nullptr);
    HWND w = Window();
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendDlgItemMessageW(w, IDC_POPUP_TITLE, WM_GETFONT, 0, 0));
    ::SendMessageW(w, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(popup, nullptr);
    if (::GetObjectType(font) == 0) ++freedFonts;
  }
  const ResourceCounts after = CountResources();
  EXPECT_EQ(freedFonts, 300);
  ASSERT_GT(before.gdiObjects, 0u);
  EXPECT_LE(after.gdiObjects, before.gdiObjects + 2);
  EXPECT_LE(after.windows, before.windows);
  EXPECT_LE(after.kernelHandles, before.kernelHandles + 2);
  PrintCounts("300 create/cancel cycles", before, after);
}

}  // namespace
