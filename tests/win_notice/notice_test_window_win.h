#pragma once
// A real window for the notice tests: its procedure hands WM_SERVICE_NOTICE to the main window's
// handler over recording outlets, and counts every such message it ever receives, also after
// its data is gone.
#include <windows.h>

#include <atomic>
#include <memory>

#include "notice/notice_check_win.h"
#include "notice/service_notice_message.h"
#include "tests/support/recording_outlets.h"

namespace notice_win_test {

inline const U16 kAppTitle = u"Corvell网站监控";

// Every WM_SERVICE_NOTICE that reached any test window, live or not.
inline std::atomic<int> g_noticeMessages{0};

struct TestWindowData {
  NoticeLink* link = nullptr;  // set once the link exists
  bool updateShown = false;
  RecordingOutlets outlets;
};

inline LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SERVICE_NOTICE) {
    ++g_noticeMessages;
    auto* data = reinterpret_cast<TestWindowData*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!data) return 0;
    return HandleServiceNoticeMessage(data->link, wParam, lParam, data->updateShown, kAppTitle,
                                      data->outlets);
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A message-only window whose data is owned by the test.
class TestWindow {
 public:
  TestWindow() : data_(std::make_unique<TestWindowData>()) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SiteMonitorNoticeTestWindow";
    ::RegisterClassW(&wc);  // fails harmlessly when already registered
    hwnd_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data_.get()));
  }
  ~TestWindow() { Destroy(); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  TestWindowData* data() const { return data_.get(); }
  // Destroys the window and frees its data, as the main window's end does.
  void Destroy() {
    if (hwnd_) ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    data_.reset();
  }

 private:
  std::unique_ptr<TestWindowData> data_;
  HWND hwnd_ = nullptr;
};

}  // namespace notice_win_test
