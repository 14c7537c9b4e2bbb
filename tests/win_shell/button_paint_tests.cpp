// The drawn button painted for real: the button control's own paint code asks its parent to
// draw (WM_DRAWITEM), the parent reflects the request to the CButtonBT, which paints into our
// memory bitmap. Colours are read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "framework/dialog_impl_win.h"
#include "framework/mixins_win.h"
#include "framework/reflect_win.h"
#include "res/resource.h"
#include "shell/button_bt_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/resource_counts_win.h"
#include "tests/win_shell/canvas_win.h"

using sitemon_test::CountResources;
using sitemon_test::PumpPending;
using sitemon_test::PumpUntil;
using sitemon_test::ResourceCounts;

namespace {

constexpr COLORREF kNormal = RGB(10, 20, 30);
constexpr COLORREF kHover = RGB(40, 50, 60);
constexpr COLORREF kPressed = RGB(70, 80, 90);
constexpr COLORREF kFrame = RGB(200, 0, 0);
constexpr COLORREF kText = RGB(255, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGreyText = RGB(180, 180, 180);

// Template IDD_POPUP: button 1 ("确定") and button 2, both drawn.
class ButtonHostDlg : public CDialogImpl<ButtonHostDlg>, public CWinDataExchange<ButtonHostDlg> {
 public:
  enum { IDD = IDD_POPUP };
  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD) override {
    if (message == WM_INITDIALOG) {
      attached = DDX_Control(IDOK, button);
      result = FALSE;  // no focus: a focused button would draw the same, but keep it out of play
      return TRUE;
    }
    return ReflectNotifications(hWnd, message, wParam, lParam, result);
  }
  CButtonBT button;
  bool attached = false;
};

class ButtonPaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(host.Create(nullptr), nullptr);
    ASSERT_TRUE(host.attached);
    host.button.SetColours({kNormal, kHover, kPressed, kFrame, kText});
    RECT client{};
    host.button.GetClientRect(&client);
    width = client.right;
    height = client.bottom;
    ASSERT_GT(width, 10);
    ASSERT_GT(height, 10);
  }
  void TearDown() override {
    host.DestroyWindow();
    PumpPending();
  }
  // The button's own paint code draws into `canvas` (through its parent and the reflection).
  void Paint(Canvas& canvas) {
    canvas.Fill(RGB(1, 2, 3));
    host.button.SendMessageW(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
  }
  RECT Inner() const { return {1, 1, width - 1, height - 1}; }
  // Text drawn in `colour` on `fill`: glyph pixels differ from the fill, and the cores of the
  // strokes have the text colour itself (the edges may be smoothed).
  void ExpectTextPresent(const Canvas& c, COLORREF fill, COLORREF colour) {
    const RECT inner = Inner();
    const int area = (inner.right - inner.left) * (inner.bottom - inner.top);
    EXPECT_GT(area - c.Count(fill, inner), 20) << "no text drawn";
    EXPECT_GT(c.Count(colour, inner), 0) << "text not in its colour";
  }
  void ExpectFrameAndFill(const Canvas& c, COLORREF fill) {
    for (POINT p : {POINT{0, 0}, POINT{width - 1, 0}, POINT{0, height - 1}, POINT{width - 1, height - 1},
                    POINT{width / 2, 0}, POINT{0, height / 2}})
      EXPECT_EQ(c.At(p.x, p.y), kFrame) << "frame at " << p.x << "," << p.y;
    for (POINT p : {POINT{1, 1}, POINT{width - 2, 1}, POINT{1, height - 2}, POINT{width - 2, height - 2}})
      EXPECT_EQ(c.At(p.x, p.y), fill) << "fill at " << p.x << "," << p.y;
  }

  ButtonHostDlg host;
  int width = 0;
  int height = 0;
};

TEST_F(ButtonPaintTest, AttachingMakesTheControlOwnerDrawn) {
  EXPECT_EQ(host.button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
}

TEST_F(ButtonPaintTest, NormalStateHasFrameFillAndCentredTextInItsColour) {
  Canvas c(width, height);
  Paint(c);
  ExpectFrameAndFill(c, kNormal);
  ExpectTextPresent(c, kNormal, kText);
  // The text block is centred both ways (rounding and glyph bearings allow a little).
  const RECT text = c.BoundsOfOther(kNormal, Inner());
  ASSERT_LT(text.left, text.right);
  EXPECT_LE(std::abs((text.left - 1) - (width - 1 - text.right)), 3);
  EXPECT_LE(std::abs((text.top - 1) - (height - 1 - text.bottom)), 4);
}

TEST_F(ButtonPaintTest, HoverPressedAndDisabledFollowTheirPriority) {
  Canvas c(width, height);
  host.button.m_bHover = TRUE;
  Paint(c);
  ExpectFrameAndFill(c, kHover);

  host.button.SendMessageW(BM_SETSTATE, TRUE);  // pressed, mouse still over it
  Paint(c);
  ExpectFrameAndFill(c, kPressed);

  host.button.SendMessageW(BM_SETSTATE, FALSE);
  host.button.EnableWindow(FALSE);  // disabled wins over hover: white with grey text
  Paint(c);
  ExpectFrameAndFill(c, kWhite);
  ExpectTextPresent(c, kWhite, kGreyText);
  EXPECT_EQ(c.Count(kText, Inner()), 0);

  host.button.SendMessageW(BM_SETSTATE, TRUE);  // pressed wins over disabled
  Paint(c);
  ExpectFrameAndFill(c, kPressed);
}

TEST_F(ButtonPaintTest, NoTextLeavesOnlyFrameAndFill) {
  host.button.SetWindowTextW(L"");
  Canvas c(width, height);
  Paint(c);
  ExpectFrameAndFill(c, kNormal);
  const RECT inner = Inner();
  EXPECT_EQ(c.Count(kNormal, inner), (inner.right - inner.left) * (inner.bottom - inner.top));
}

TEST_F(ButtonPaintTest, LongTextWrapsAndStaysCentredAsABlock) {
  host.button.SetWindowTextW(L"清空 日志");
  Canvas wide(width, height);
  Paint(wide);
  const RECT oneLine = wide.BoundsOfOther(kNormal, Inner());
  const int lineHeight = oneLine.bottom - oneLine.top;
  ASSERT_GT(lineHeight, 0);

  // Narrower than the text, tall enough for two lines.
  const int narrowWidth = (oneLine.right - oneLine.left) * 2 / 3 + 2;
  const int tall = lineHeight * 4;
  ::SetWindowPos(host.button.m_hWnd, nullptr, 0, 0, narrowWidth, tall, SWP_NOMOVE | SWP_NOZORDER);
  width = narrowWidth;
  height = tall;
  Canvas narrow(width, height);
  Paint(narrow);
  ExpectFrameAndFill(narrow, kNormal);
  const RECT block = narrow.BoundsOfOther(kNormal, Inner());
  EXPECT_GT(block.bottom - block.top, lineHeight + lineHeight / 2) << "the text did not wrap";
  EXPECT_LE(std::abs((block.top - 1) - (height - 1 - block.bottom)), 4);
}

TEST_F(ButtonPaintTest, MouseOverTheButtonRepaintsInHoverAndLeavingRestoresNormal) {
  host.ShowWindow(SW_SHOWNOACTIVATE);
  host.UpdateWindow();
  RECT onScreen{};
  host.button.GetWindowRect(&onScreen);
  ::SetCursorPos((onScreen.left + onScreen.right) / 2, (onScreen.top + onScreen.bottom) / 2);
  host.button.SendMessageW(WM_MOUSEMOVE, 0, MAKELPARAM(width / 2, height / 2));
  EXPECT_TRUE(host.button.m_bHover);
  RECT dirty{};
  EXPECT_TRUE(::GetUpdateRect(host.button.m_hWnd, &dirty, FALSE)) << "the hover did not ask for a repaint";
  Canvas c(width, height);
  Paint(c);
  ExpectFrameAndFill(c, kHover);

  ::SetCursorPos(onScreen.right + 200, onScreen.bottom + 200);
  ASSERT_TRUE(PumpUntil([&] { return !host.button.m_bHover; })) << "no leave notification arrived";
  Paint(c);
  ExpectFrameAndFill(c, kNormal);
}

TEST_F(ButtonPaintTest, EraseRequestsAreAnsweredWithoutPainting) {
  Canvas c(width, height);
  c.Fill(RGB(1, 2, 3));
  EXPECT_EQ(host.button.SendMessageW(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc())), 1);
  EXPECT_EQ(c.At(width / 2, height / 2), RGB(1, 2, 3));
}

TEST_F(ButtonPaintTest, TwoHundredHoverAndPressRepaintsLeakNoGdiObjectOrHandle) {
  host.ShowWindow(SW_SHOWNOACTIVATE);
  Canvas c(width, height);
  for (int i = 0; i < 10; ++i) Paint(c);  // first paints may fill caches
  host.UpdateWindow();
  const ResourceCounts before = CountResources();
  for (int i = 0; i < 200; ++i) {
    host.button.m_bHover = (i % 2) == 0;
    host.button.SendMessageW(BM_SETSTATE, (i % 4) < 2 ? TRUE : FALSE);
    Paint(c);
    host.button.Invalidate(FALSE);  // and the real paint path, on the screen
    host.button.UpdateWindow();
  }
  const ResourceCounts after = CountResources();
  RecordProperty("gdi_objects_before", static_cast<int>(before.gdiObjects));
  RecordProperty("gdi_objects_after", static_cast<int>(after.gdiObjects));
  std::printf("GDI objects before/after 200 repaints: %u / %u; handles: %u / %u\n", before.gdiObjects,
              after.gdiObjects, before.kernelHandles, after.kernelHandles);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.kernelHandles, before.kernelHandles);
}

}  // namespace
