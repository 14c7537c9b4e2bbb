// The colour mix-ins on a dialog built from the main window's template: statics white on the
// blue brush, edits and buttons without it, the background in one blue copy, brushes released.
#include <gtest/gtest.h>

#include <memory>

#include "framework/dialog_impl_win.h"
#include "framework/reflect_win.h"
#include "res/resource.h"
#include "shell/colour_mixins_win.h"
#include "tests/support/resource_counts_win.h"
#include "tests/win_shell/canvas_win.h"

using sitemon_test::CountResources;

namespace {

constexpr COLORREF kBlue = 0xD6920F;

class BlueDlg : public CDialogImpl<BlueDlg>,
                public CPaintBkgnd<BlueDlg, 0, kBlue>,
                public CCtrlColor<BlueDlg, 0, 0xFFFFFF, kBlue> {
 public:
  enum { IDD = IDD_MAINDLG };
  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId) override {
    if (message == WM_INITDIALOG) {
      result = TRUE;
      return TRUE;
    }
    if (CPaintBkgnd::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
    if (CCtrlColor::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
    return ReflectNotifications(hWnd, message, wParam, lParam, result);
  }
};

// The popup's kind: black text straight on the background (hollow brush).
class HollowDlg : public CDialogImpl<HollowDlg>, public CCtrlColor<HollowDlg, 1, 0, 0xFFFFFF> {
 public:
  enum { IDD = IDD_POPUP };
  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId) override {
    if (message == WM_INITDIALOG) {
      result = TRUE;
      return TRUE;
    }
    return CCtrlColor::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId);
  }
};

class ColourMixinTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(dialog.Create(nullptr), nullptr); }
  void TearDown() override { dialog.DestroyWindow(); }
  LRESULT Ask(UINT message, HDC dc, int controlId) {
    return dialog.SendMessageW(message, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(dialog.GetDlgItem(controlId)));
  }
  BlueDlg dialog;
};

TEST_F(ColourMixinTest, StaticsGetWhiteTextOnTheBlueBrush) {
  Canvas c(4, 4);
  ::SetTextColor(c.dc(), RGB(1, 1, 1));
  const LRESULT brush = Ask(WM_CTLCOLORSTATIC, c.dc(), IDC_TITLE_LINE);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), dialog.CCtrlColor::Brush());
  EXPECT_NE(brush, 0);
  EXPECT_EQ(::GetTextColor(c.dc()), RGB(255, 255, 255));
  EXPECT_EQ(::GetBkMode(c.dc()), TRANSPARENT);
  // The brush really is blue.
  LOGBRUSH info{};
  ASSERT_EQ(::GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(info.lbColor, kBlue);
  EXPECT_EQ(info.lbStyle, static_cast<UINT>(BS_SOLID));
}

TEST_F(ColourMixinTest, AReadOnlyEditAndTheButtonsKeepTheSystemColours) {
  // The mix-in hands out no brush, so the dialog manager's default colouring answers: the
  // system's brush and text colour, never our blue and white.
  Canvas c(4, 4);
  HBRUSH ours = dialog.CCtrlColor::Brush();
  const COLORREF systemText = ::GetSysColor(COLOR_WINDOWTEXT);
  ASSERT_NE(systemText, RGB(255, 255, 255));
  const LRESULT forEdit = Ask(WM_CTLCOLORSTATIC, c.dc(), IDC_SITE_LIST);  // a read-only edit asks so
  EXPECT_NE(reinterpret_cast<HBRUSH>(forEdit), ours);
  EXPECT_EQ(::GetTextColor(c.dc()), systemText);
  const LRESULT forButton = Ask(WM_CTLCOLORBTN, c.dc(), IDC_START);
  EXPECT_NE(reinterpret_cast<HBRUSH>(forButton), ours);
  EXPECT_NE(::GetTextColor(c.dc()), RGB(255, 255, 255));
  const LRESULT forEnabledEdit = Ask(WM_CTLCOLOREDIT, c.dc(), IDC_SITE_LIST);
  EXPECT_NE(reinterpret_cast<HBRUSH>(forEnabledEdit), ours);
  EXPECT_EQ(::GetTextColor(c.dc()), systemText);
  // The same request for a label does get ours.
  EXPECT_EQ(reinterpret_cast<HBRUSH>(Ask(WM_CTLCOLORSTATIC, c.dc(), IDC_TITLE_LINE)), ours);
}

TEST_F(ColourMixinTest, BackgroundIsOneBlueCopyOfTheWholeClientArea) {
  RECT client{};
  dialog.GetClientRect(&client);
  Canvas c(client.right, client.bottom);
  c.Fill(RGB(0, 0, 0));
  EXPECT_EQ(dialog.SendMessageW(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc())), 1);
  EXPECT_EQ(c.Count(kBlue, client), client.right * client.bottom);
}

TEST_F(ColourMixinTest, RepeatedErasesLeakNothing) {
  RECT client{};
  dialog.GetClientRect(&client);
  Canvas c(client.right, client.bottom);
  for (int i = 0; i < 5; ++i) dialog.SendMessageW(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()));
  const uint32_t before = CountResources().gdiObjects;
  for (int i = 0; i < 200; ++i) {
    dialog.SendMessageW(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()));
    Ask(WM_CTLCOLORSTATIC, c.dc(), IDC_TITLE_LINE);
  }
  EXPECT_EQ(CountResources().gdiObjects, before);
}

TEST(ColourMixinLifetimeTest, BrushesLiveExactlyAsLongAsTheWindowObject) {
  uint32_t withOneAlive = 0;
  {
    auto dialog = std::make_unique<BlueDlg>();
    HBRUSH background = dialog->CPaintBkgnd::Brush();
    EXPECT_EQ(::GetObjectType(background), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(::GetObjectType(dialog->CCtrlColor::Brush()), static_cast<DWORD>(OBJ_BRUSH));
    withOneAlive = CountResources().gdiObjects;
  }
  // A hundred more objects made and destroyed: had each kept its two brushes, the count would
  // have risen by two hundred.
  for (int i = 0; i < 100; ++i) BlueDlg passing;
  EXPECT_LE(CountResources().gdiObjects, withOneAlive);
}

TEST(ColourMixinHollowTest, PopupStaticsGetBlackTextOnTheHollowBrush) {
  HollowDlg dialog;
  ASSERT_NE(dialog.Create(nullptr), nullptr);
  Canvas c(4, 4);
  const LRESULT brush = dialog.SendMessageW(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(c.dc()),
                                            reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDC_POPUP_TEXT)));
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), ::GetStockObject(NULL_BRUSH));
  EXPECT_EQ(::GetTextColor(c.dc()), RGB(0, 0, 0));
  EXPECT_EQ(::GetBkMode(c.dc()), TRANSPARENT);
  dialog.DestroyWindow();
}

}  // namespace
