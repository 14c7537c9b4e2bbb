// The real worker thread (SiteProbeThreadProc) reporting to a real window of this thread,
// whose messages the test pumps, against a loopback server.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "base/unique_handle_win.h"
#include "monitor/probe_worker_win.h"
#include "monitor/run_flags.h"
#include "tests/support/loopback_http_server_win.h"
#include "tests/support/message_pump_win.h"

using namespace std::chrono_literals;
using sitemon_test::LoopbackHttpServer;
using sitemon_test::PumpUntil;
using sitemon_test::PumpUntilSignalled;

namespace {

struct Report {
  WPARAM siteNumber;
  LPARAM status;
  bool sent;  // delivered by SendMessageW (the worker waited for it)
};

// A message-only window collecting WM_SITE_STATUS reports; used on the test's thread only.
class ReportWindow {
 public:
  ReportWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ReportWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SiteMonProbeTestReports";
    RegisterClassW(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~ReportWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  ReportWindow(const ReportWindow&) = delete;
  ReportWindow& operator=(const ReportWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  std::vector<Report> reports;

  size_t CountStatus(LPARAM status) const {
    size_t n = 0;
    for (const Report& r : reports) n += r.status == status ? 1 : 0;
    return n;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SITE_STATUS) {
      auto* self = reinterpret_cast<ReportWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (self) self->reports.push_back({wp, lp, InSendMessage() != FALSE});
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  HWND hwnd_ = nullptr;
};

class ProbeThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetStopRequested(0);
    SetExitRequested(0);
    ASSERT_TRUE(server.ok());
    ASSERT_NE(window.hwnd(), nullptr);
  }
  void TearDown() override {
    // Never leave a worker behind: it would report to a window that is gone.
    SetStopRequested(1);
    if (thread) PumpUntilSignalled(thread.get(), 10s);
    SetStopRequested(0);
    SetExitRequested(0);
  }
  void StartWorker(std::string_view path, int checkSeconds, int retryCount, int retrySeconds) {
    task.siteNumber = 4;
    task.checkIntervalSeconds = checkSeconds;
    task.retryCount = retryCount;
    task.retryIntervalSeconds = retrySeconds;
    task.lastStatus = 200;
    task.notifyWindow = window.hwnd();
    const std::wstring url = server.WideUrl(path);
    task.url = U16(url.begin(), url.end());
    thread.reset(CreateThread(nullptr, 0, SiteProbeThreadProc, &task, 0, nullptr));
    ASSERT_TRUE(thread);
  }

  LoopbackHttpServer server;
  ReportWindow window;
  SiteProbeTask task;
  UniqueKernelHandle thread;
};

}  // namespace

TEST_F(ProbeThreadTest, ReportsAFailureOncePerRetryBudgetAndEndsWithASentNine) {
  server.SetReply("/missing", sitemon_test::StatusReply(404, "Not Found"));
  StartWorker("/missing", 2, 1, 1);
  // Two failed probes per report: at about 1 s and 2 s, then 4 s and 5 s.
  ASSERT_TRUE(PumpUntil([&] { return window.reports.size() >= 2; }, 15s));
  EXPECT_EQ(window.reports[0].siteNumber, 4u);
  EXPECT_EQ(window.reports[0].status, 404);
  EXPECT_FALSE(window.reports[0].sent);
  EXPECT_EQ(window.reports[1].status, 404);
  const size_t requestsAtSecondReport = server.RequestCount();
  // Two reports took at least four probes; how many more ran while this thread was slow to look
  // depends on the machine (the exact count per report is the fake-clock worker test's).
  EXPECT_GE(requestsAtSecondReport, 4u);

  SetStopRequested(1);
  ASSERT_TRUE(PumpUntilSignalled(thread.get(), 10s));
  DWORD code = 99;
  ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
  EXPECT_EQ(code, 0u);
  ASSERT_FALSE(window.reports.empty());
  EXPECT_EQ(window.reports.back().status, 9);
  EXPECT_TRUE(window.reports.back().sent);
  EXPECT_EQ(window.CountStatus(9), 1u);
  // Exactly one report per two failed requests, none for a lone failure.
  EXPECT_EQ(window.CountStatus(404), server.RequestCount() / 2);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_EQ(server.Requests()[0].target, "/missing");
}

TEST_F(ProbeThreadTest, SuccessIsReportedOnEveryProbe) {
  server.SetReply("/ok", sitemon_test::StatusReply(200, "OK"));
  StartWorker("/ok", 1, 1, 1);
  ASSERT_TRUE(PumpUntil([&] { return window.reports.size() >= 3; }, 15s));
  SetStopRequested(1);
  ASSERT_TRUE(PumpUntilSignalled(thread.get(), 10s));
  EXPECT_EQ(window.CountStatus(200), server.RequestCount());
  EXPECT_EQ(window.reports.back().status, 9);
}

// A long signed or tracking address is probed as typed, not cut to some field's size: only the
// whole path is answered 200 (any other gets 404).
TEST_F(ProbeThreadTest, ALongAddressIsProbedWhole) {
  const std::string path = "/signed/" + std::string(1200, 'p') + "/end";
  server.SetReply(path, sitemon_test::StatusReply(200, "OK"));
  StartWorker(path, 1, 1, 1);
  ASSERT_TRUE(PumpUntil([&] { return !window.reports.empty(); }, 15s));
  EXPECT_EQ(window.reports[0].status, 200);
  ASSERT_GE(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].target, path);
}

TEST_F(ProbeThreadTest, RefusedAddressIsReportedAs22AfterTheRetries) {
  std::wstring refused;
  {
    LoopbackHttpServer gone;
    ASSERT_TRUE(gone.ok());
    refused = gone.WideUrl("/");
  }
  task.siteNumber = 1;
  task.checkIntervalSeconds = 2;
  task.retryCount = 1;
  task.retryIntervalSeconds = 2;
  task.notifyWindow = window.hwnd();
  task.url = U16(refused.begin(), refused.end());
  thread.reset(CreateThread(nullptr, 0, SiteProbeThreadProc, &task, 0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_TRUE(PumpUntil([&] { return !window.reports.empty(); }, 15s));
  EXPECT_EQ(window.reports[0].status, 22);
  EXPECT_EQ(window.reports[0].siteNumber, 1u);
}

TEST_F(ProbeThreadTest, ExitRaisedBeforeTheThreadStartsSendsOnlyNine) {
  SetExitRequested(1);
  StartWorker("/never", 2, 1, 1);
  ASSERT_TRUE(PumpUntilSignalled(thread.get(), 10s));
  ASSERT_EQ(window.reports.size(), 1u);
  EXPECT_EQ(window.reports[0].status, 9);
  EXPECT_TRUE(window.reports[0].sent);
  EXPECT_EQ(server.ConnectionCount(), 0u);
}
