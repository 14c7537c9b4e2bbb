// The window framework: binding objects to windows, the final-message hook, the fault barrier
// of the window procedure, dialogs, and reflection of child notifications found by handle.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/dialog_impl_win.h"
#include "framework/mixins_win.h"
#include "framework/reflect_win.h"
#include "framework/window_impl_win.h"
#include "res/resource.h"
#include "tests/support/message_pump_win.h"

using sitemon_test::PumpPending;

namespace {

constexpr UINT kDestroyYourself = WM_APP;
constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kEndNow = WM_APP + 5;

class RecordingButton : public CWindowImpl<RecordingButton, CButton>, public COwnerDraw<RecordingButton> {
 public:
  RecordingButton(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId) override {
    if (message == kDestroyYourself) {
      ::DestroyWindow(hWnd);
      log_.push_back(name_ + " handler done");  // the object must still be whole here
      result = 0;
      return TRUE;
    }
    if (message == kThrow) throw std::runtime_error("a failing handler");
    if (message >= OCM__BASE && message != OCM_DRAWITEM) reflected.push_back(message);
    if (COwnerDraw<RecordingButton>::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
    return DefaultReflectionHandler(hWnd, message, wParam, lParam, result);
  }
  void DrawButton(LPDRAWITEMSTRUCT item) { drawnFor.push_back(item->hwndItem); }
  void OnFinalMessage(HWND) override { log_.push_back(name_ + " final"); }

  std::vector<HWND> drawnFor;
  std::vector<UINT> reflected;

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

// Template IDD_POPUP has buttons 1 and 2 and the statics IDC_POPUP_TITLE and IDC_POPUP_TEXT.
class TestDlg : public CDialogImpl<TestDlg>, public CWinDataExchange<TestDlg> {
 public:
  enum { IDD = IDD_POPUP };
  explicit TestDlg(std::vector<std::string>& log) : a("a", log), b("b", log), log_(log) {}

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD) override {
    switch (message) {
      case WM_INITDIALOG:
        initParam = lParam;
        DDX_Control(IDOK, a);
        DDX_Control(IDCANCEL, b);
        if (endWith >= 0) ::PostMessageW(hWnd, kEndNow, 0, 0);
        result = TRUE;
        return TRUE;
      case kEndNow:
        EndDialog(endWith);
        result = 0;
        return TRUE;
      default:
        break;
    }
    return ReflectNotifications(hWnd, message, wParam, lParam, result);
  }
  void OnFinalMessage(HWND) override { log_.push_back("dialog final"); }

  RecordingButton a;
  RecordingButton b;
  LPARAM initParam = -1;
  int endWith = -1;

 private:
  std::vector<std::string>& log_;
};

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog = std::make_unique<TestDlg>(log);
    ASSERT_NE(dialog->Create(nullptr, 0x5A5A), nullptr);
  }
  void TearDown() override {
    if (dialog && dialog->m_hWnd) dialog->DestroyWindow();
    PumpPending();
  }
  std::vector<std::string> log;
  std::unique_ptr<TestDlg> dialog;
};

TEST_F(FrameworkTest, CreationParameterReachesInitialisationAndControlsAreBound) {
  EXPECT_EQ(dialog->initParam, 0x5A5A);
  EXPECT_EQ(dialog->a.m_hWnd, dialog->GetDlgItem(IDOK));
  EXPECT_EQ(dialog->b.m_hWnd, dialog->GetDlgItem(IDCANCEL));
}

TEST_F(FrameworkTest, DrawRequestReachesTheButtonNamedByHandleNotById) {
  // The id says button 1, the handle says button 2: the handle decides.
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = IDOK;
  item.hwndItem = dialog->b.m_hWnd;
  const LRESULT answer = dialog->SendMessageW(WM_DRAWITEM, IDOK, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(answer, TRUE);
  EXPECT_TRUE(dialog->a.drawnFor.empty());
  ASSERT_EQ(dialog->b.drawnFor.size(), 1u);
  EXPECT_EQ(dialog->b.drawnFor[0], dialog->b.m_hWnd);
}

TEST_F(FrameworkTest, CommandAndNotifyFromAControlAreReflectedToIt) {
  dialog->SendMessageW(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(dialog->b.m_hWnd));
  NMHDR header{dialog->b.m_hWnd, IDCANCEL, NM_CLICK};
  dialog->SendMessageW(WM_NOTIFY, IDCANCEL, reinterpret_cast<LPARAM>(&header));
  EXPECT_EQ(dialog->b.reflected, (std::vector<UINT>{OCM_COMMAND, OCM_NOTIFY}));
  // A menu command names no control; a handle that is not our child is not followed.
  dialog->SendMessageW(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
  HWND stranger = ::CreateWindowExW(0, L"BUTTON", L"x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  dialog->SendMessageW(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(stranger));
  ::DestroyWindow(stranger);
  EXPECT_TRUE(dialog->a.reflected.empty());
  EXPECT_EQ(dialog->b.reflected.size(), 2u);
}

TEST_F(FrameworkTest, ReflectionTargetsByMessage) {
  HWND parent = dialog->m_hWnd;
  HWND child = dialog->b.m_hWnd;
  const LPARAM asParam = reinterpret_cast<LPARAM>(child);
  EXPECT_EQ(ReflectionTarget(parent, WM_CTLCOLORSTATIC, 0, asParam), child);
  EXPECT_EQ(ReflectionTarget(parent, WM_HSCROLL, 0, asParam), child);
  EXPECT_EQ(ReflectionTarget(parent, WM_VSCROLL, 0, 0), nullptr);  // the window's own scroll bar
  EXPECT_EQ(ReflectionTarget(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, IDCANCEL), asParam), child);
  DRAWITEMSTRUCT menuItem{};
  menuItem.CtlType = ODT_MENU;
  EXPECT_EQ(ReflectionTarget(parent, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menuItem)), nullptr);
  MEASUREITEMSTRUCT measure{};
  measure.CtlID = IDCANCEL;  // no handle in this one: the id is all there is
  EXPECT_EQ(ReflectionTarget(parent, WM_MEASUREITEM, IDCANCEL, reinterpret_cast<LPARAM>(&measure)), child);
  EXPECT_EQ(ReflectionTarget(parent, WM_SIZE, 0, asParam), nullptr);
}

TEST_F(FrameworkTest, AFailingHandlerDoesNotEscapeTheWindowProcedure) {
  EXPECT_EQ(dialog->a.SendMessageW(kThrow), 0);
  // The button still works afterwards.
  dialog->a.SendMessageW(BM_SETSTATE, TRUE);
  EXPECT_NE(dialog->a.SendMessageW(BM_GETSTATE) & BST_PUSHED, 0u);
}

TEST_F(FrameworkTest, FinalMessageRunsAfterTheHandlerThatDestroyedTheWindow) {
  HWND button = dialog->a.m_hWnd;
  dialog->a.SendMessageW(kDestroyYourself);
  EXPECT_FALSE(::IsWindow(button));
  EXPECT_EQ(log, (std::vector<std::string>{"a handler done", "a final"}));
  EXPECT_EQ(dialog->a.m_hWnd, nullptr);
  // The window is gone and unbound: another object can bind a new control.
  EXPECT_FALSE(dialog->a.SubclassWindow(button));
}

TEST_F(FrameworkTest, DestroyingTheDialogUnbindsEverythingOnce) {
  HWND window = dialog->m_hWnd;
  dialog->DestroyWindow();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(dialog->m_hWnd, nullptr);
  EXPECT_EQ(dialog->a.m_hWnd, nullptr);
  // Each final hook once, the dialog's after its children's.
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(std::count(log.begin(), log.end(), "a final"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "b final"), 1);
  EXPECT_EQ(log.back(), "dialog final");
}

TEST_F(FrameworkTest, SubclassingRules) {
  std::vector<std::string> otherLog;
  RecordingButton other("other", otherLog);
  EXPECT_FALSE(other.SubclassWindow(dialog->a.m_hWnd));  // already bound to `a`
  EXPECT_FALSE(other.SubclassWindow(nullptr));
  EXPECT_FALSE(other.SubclassWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12345678))));

  // Unbinding gives the control its own procedure back; the button keeps working.
  HWND button = dialog->a.m_hWnd;
  const WNDPROC ours = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(button, GWLP_WNDPROC));
  EXPECT_EQ(dialog->a.UnsubclassWindow(), button);
  EXPECT_NE(reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(button, GWLP_WNDPROC)), ours);
  EXPECT_TRUE(other.SubclassWindow(button));
  EXPECT_EQ(other.m_hWnd, button);
}

TEST_F(FrameworkTest, AnObjectGoneBeforeItsWindowLeavesAWorkingControl) {
  HWND button = dialog->GetDlgItem(IDCANCEL);
  dialog->b.UnsubclassWindow();
  {
    std::vector<std::string> shortLog;
    RecordingButton shortLived("short", shortLog);
    ASSERT_TRUE(shortLived.SubclassWindow(button));
  }
  // Without the object the control answers by its own procedure.
  ::SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
  ::SendMessageW(button, BM_SETSTATE, TRUE, 0);
  EXPECT_NE(::SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
}

TEST(FrameworkDialogTest, ModalDialogReturnsTheEndDialogValue) {
  std::vector<std::string> log;
  TestDlg dialog(log);
  dialog.endWith = 7;
  EXPECT_EQ(dialog.DoModal(nullptr, 99), 7);
  EXPECT_EQ(dialog.initParam, 99);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  EXPECT_EQ(std::count(log.begin(), log.end(), "dialog final"), 1);
}

TEST(FrameworkDialogTest, ObjectGoneBeforeItsModelessWindowTakesTheWindowAlong) {
  std::vector<std::string> log;
  HWND window = nullptr;
  {
    TestDlg dialog(log);
    window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
  }
  EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
