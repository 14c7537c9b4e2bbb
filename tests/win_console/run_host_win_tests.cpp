// Run control over the real Win32 thread half: worker threads that post and send to a window on
// the test's thread, and the stop wait that must keep handling those messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "monitor/run_control.h"
#include "monitor/run_flags.h"
#include "monitor/run_host_win.h"
#include "monitor/site_status_message.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/recording_outlets.h"

namespace {

constexpr UINT WM_TEST_DESTROY = WM_APP + 2;
std::atomic<int> g_workersEnded{0};
// Site 1's worker posts the window's destruction once it sees the stop flag, and ends only after
// the exit flag that the destruction raises: so the destruction is handled inside the stop wait.
std::atomic<bool> g_destroyFromWorker{false};

bool WaitForFlag(bool (*flag)()) {
  const DWORD deadline = ::GetTickCount() + 20000;
  while (!flag()) {
    if (::GetTickCount() > deadline) return false;
    ::Sleep(1);  // a worker tick
  }
  return true;
}

// A stand-in for the probe worker: one report, then the ticks until the stop flag, then the
// synchronous last report, as the real worker ends.
DWORD WINAPI TestWorker(LPVOID param) {
  auto* task = static_cast<SiteProbeTask*>(param);
  HWND window = static_cast<HWND>(task->notifyWindow);
  ::PostMessageW(window, WM_SITE_STATUS, static_cast<WPARAM>(task->siteNumber), 200);
  WaitForFlag([] { return StopRequested() || ExitRequested(); });
  if (g_destroyFromWorker && task->siteNumber == 1) {
    ::PostMessageW(window, WM_TEST_DESTROY, 0, 0);
    WaitForFlag(ExitRequested);
  }
  ::SendMessageW(window, WM_SITE_STATUS, static_cast<WPARAM>(task->siteNumber), 9);
  g_workersEnded.fetch_add(1);
  return 0;
}

// The message loop between Start and Stop, until cond holds or the deadline passes.
bool PumpUntil(const std::function<bool()>& cond) { return sitemon_test::PumpUntil(cond, std::chrono::seconds(10)); }

class TestRunWindow : public IRunWindow {
 public:
  explicit TestRunWindow(HWND window) : window_(window) {}
  U16 ReadSiteListText() override { return edit; }
  void SetSiteListText(U16View text) override { edit = U16(text); }
  void EnableStartStop(bool start, bool stop) override { buttons = {start, stop}; }
  MonitorSettings ReadSettings() override { return {30, 1, 10}; }
  bool StoreSiteList(U16View) override { return true; }
  void SaveSettings() override { ++saves; }
  void* NotifyWindow() override { return window_; }
  IReportOutlets& Outlets() override { return outlets; }

  U16 edit;
  std::pair<bool, bool> buttons{true, false};
  int saves = 0;
  RecordingOutlets outlets;

 private:
  HWND window_;
};

RunControl* g_run = nullptr;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_run != nullptr && message == WM_SITE_STATUS) {
    g_run->OnSiteStatus(static_cast<uint64_t>(wParam), static_cast<int32_t>(lParam));
    return 0;
  }
  if (g_run != nullptr && message == WM_TEST_DESTROY) {
    g_run->OnDestroy();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

class Win32RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetStopRequested(0);
    SetExitRequested(0);
    g_workersEnded = 0;
    g_destroyFromWorker = false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RunHostTestWindow";
    ::RegisterClassW(&wc);
    window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    runWindow_ = std::make_unique<TestRunWindow>(window_);
    run_ = std::make_unique<RunControl>(threads_, *runWindow_);
    g_run = run_.get();
  }
  void TearDown() override {
    run_.reset();  // ends any workers still running
    g_run = nullptr;
    ::DestroyWindow(window_);
  }
  std::vector<U16> Rows() const {
    std::vector<U16> rows;
    for (const auto& c : runWindow_->outlets.calls)
      if (c.kind == OutletCall::Row) rows.push_back(c.text);
    return rows;
  }
  static bool EndsWith(const U16& s, U16View suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
  }
  long CountRowsEndingWith(U16View suffix) const {
    const auto rows = Rows();
    return std::count_if(rows.begin(), rows.end(), [&](const U16& r) { return EndsWith(r, suffix); });
  }

  HWND window_ = nullptr;
  Win32RunThreads threads_{TestWorker};
  std::unique_ptr<TestRunWindow> runWindow_;
  std::unique_ptr<RunControl> run_;
};

}  // namespace

TEST_F(Win32RunTest, StopHandlesPostedAndSentReportsAndEndsEveryThread) {
  runWindow_->edit = u"http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b\r\nhttp://127.0.0.1:1/c";
  run_->OnStart();
  ASSERT_EQ(run_->Tasks().size(), 3u);
  for (const auto& t : run_->Tasks()) EXPECT_NE(t.threadHandle, nullptr);
  EXPECT_EQ(runWindow_->buttons, std::make_pair(false, true));
  ASSERT_TRUE(PumpUntil([&] { return CountRowsEndingWith(u" 访问正常") == 3; }));

  run_->OnStop();
  EXPECT_EQ(g_workersEnded.load(), 3);
  EXPECT_TRUE(run_->Tasks().empty());
  EXPECT_EQ(runWindow_->buttons, std::make_pair(true, false));
  const auto rows = Rows();
  ASSERT_FALSE(rows.empty());
  EXPECT_TRUE(EndsWith(rows.back(), u" 监控停止!"));
  EXPECT_EQ(CountRowsEndingWith(u" 停止中..."), 1);
  for (U16View end : {u"[1]线程退出", u"[2]线程退出", u"[3]线程退出"}) EXPECT_EQ(CountRowsEndingWith(end), 1);
  EXPECT_EQ(CountRowsEndingWith(u" 访问正常"), 3);

  // Local time stamps are of this year and plausible.
  const LocalTime now = threads_.Now();
  EXPECT_GE(now.year, 2000);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
}

TEST_F(Win32RunTest, DestructionDuringTheStopWaitEndsTheRunOnce) {
  runWindow_->edit = u"http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b";
  g_destroyFromWorker = true;  // e.g. the tray menu's exit used during the wait
  run_->OnStart();
  // The loop has handled the earlier reports: the wait wakes for new input only, one message per
  // wake, so the destruction must not sit behind reports that arrived before the wait began.
  ASSERT_TRUE(PumpUntil([&] { return CountRowsEndingWith(u" 访问正常") == 2; }));
  run_->OnStop();
  EXPECT_EQ(g_workersEnded.load(), 2);
  EXPECT_EQ(runWindow_->saves, 1);
  EXPECT_EQ(g_exitRequested.load(), 1);
  EXPECT_TRUE(run_->Tasks().empty());
  EXPECT_EQ(CountRowsEndingWith(u" 停止中..."), 1);
  EXPECT_EQ(CountRowsEndingWith(u" 监控停止!"), 0);
  EXPECT_EQ(CountRowsEndingWith(u"[1]线程退出"), 1);
  EXPECT_EQ(CountRowsEndingWith(u"[2]线程退出"), 1);
}

TEST_F(Win32RunTest, LeavingDuringARunEndsEveryWorkerWithoutStopRows) {
  runWindow_->edit = u"http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b";
  run_->OnStart();
  run_->OnDestroy();
  EXPECT_EQ(g_workersEnded.load(), 2);
  EXPECT_EQ(runWindow_->saves, 1);
  EXPECT_EQ(CountRowsEndingWith(u" 停止中..."), 0);
  EXPECT_EQ(CountRowsEndingWith(u" 监控停止!"), 0);
  EXPECT_EQ(CountRowsEndingWith(u"线程退出"), 2);
}
