// The resource counts themselves: the leak checks are only as good as the counts, which must see
// objects come and go.
#include <gtest/gtest.h>

#include <vector>

#include "base/unique_handle_win.h"
#include "tests/support/resource_counts_win.h"

using sitemon_test::CountResources;
using sitemon_test::ResourceCounts;

TEST(ResourceCounting, SeesFontsBrushesWindowsAndHandlesComeAndGo) {
  // The first window and font of a process bring the window system's own objects along.
  {
    UniqueGdiObject font(::CreateFontW(14, 0, 0, 0, FW_BOLD, 0, 0, 0, 134, 0, 0, 0, 0, L"宋体"));
    ::DestroyWindow(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
  }
  const ResourceCounts before = CountResources();
  std::vector<UniqueGdiObject> fonts;
  for (int i = 0; i < 5; ++i)
    fonts.emplace_back(::CreateFontW(14, 0, 0, 0, FW_BOLD, 0, 0, 0, 134, 0, 0, 0, 0, L"宋体"));
  std::vector<UniqueKernelHandle> events;
  for (int i = 0; i < 3; ++i) events.emplace_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  const ResourceCounts during = CountResources();
  fonts.clear();
  events.clear();
  ::DestroyWindow(window);
  const ResourceCounts after = CountResources();
  EXPECT_EQ(during.gdiObjects, before.gdiObjects + 5);
  EXPECT_EQ(during.kernelHandles, before.kernelHandles + 3);
  EXPECT_GE(during.windows, before.windows + 1);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.kernelHandles, before.kernelHandles);
  EXPECT_EQ(after.windows, before.windows);

  // Fifty brushes held are seen too.
  std::vector<UniqueGdiObject> held;
  for (int i = 0; i < 50; ++i) held.emplace_back(::CreateSolidBrush(RGB(i, 0, 0)));
  EXPECT_GE(static_cast<long>(CountResources().gdiObjects) - static_cast<long>(after.gdiObjects), 45);
}
