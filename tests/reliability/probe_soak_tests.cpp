// Soak: the real probe worker threads (SiteProbeThreadProc) probing a loopback server once a
// second each, 10 000 probes in all. Kernel handles, GDI objects, windows and private memory of
// this process are taken after a warm-up run and after every later run, each time with all
// workers ended and their handles closed: the counts must stay flat.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_handle_win.h"
#include "monitor/probe_worker_win.h"
#include "monitor/run_flags.h"
#include "monitor/site_status_message.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/resource_counts_win.h"

using namespace std::chrono_literals;
using sitemon_test::PumpFor;

namespace {

constexpr int kWorkers = 100;           // one probe a second each
// Warm-up: two runs (the heap of Wine's thread and WinINet machinery takes one step up when the
// workers are created for the second time, then stays where it is).
constexpr int kWarmUpRuns = 2;
constexpr int kWarmUpProbes = 1000;  // per warm-up run
constexpr int kMeasuredProbes = 10000;
constexpr int kRuns = 5;                // the measured probes in this many runs
// Flat means: handles and GDI objects within a few of the baseline (the system may cache one
// or two), memory within 512 KiB, i.e. < 53 bytes per probe over 10 000 probes.
constexpr long kHandleSlack = 4;
constexpr long kGdiSlack = 2;
constexpr long long kMemorySlackBytes = 512 << 10;

// A loopback server that answers every request "200 OK" and closes; one thread, no record kept,
// so it adds nothing that grows with the number of requests.
class OkServer {
 public:
  OkServer() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    started_ = true;
    listen_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listen_ == INVALID_SOCKET || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, SOMAXCONN) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OkServer() {
    stopping_ = true;
    if (listen_ != INVALID_SOCKET) ::closesocket(listen_);
    if (thread_.joinable()) thread_.join();
    if (started_) ::WSACleanup();
  }
  OkServer(const OkServer&) = delete;
  OkServer& operator=(const OkServer&) = delete;

  unsigned port() const { return port_; }
  long answered() const { return answered_.load(); }

 private:
  void Serve() {
    static const char kReply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    while (!stopping_) {
      SOCKET client = ::accept(listen_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;  // the listening socket closed: the loop ends
      char buffer[4096];
      std::string head;
      int got;
      while (head.find("\r\n\r\n") == std::string::npos && (got = ::recv(client, buffer, sizeof buffer, 0)) > 0)
        head.append(buffer, static_cast<size_t>(got));
      ::send(client, kReply, sizeof kReply - 1, 0);
      ::shutdown(client, SD_SEND);
      ::closesocket(client);
      ++answered_;
    }
  }

  bool started_ = false;
  SOCKET listen_ = INVALID_SOCKET;
  unsigned port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<long> answered_{0};
  std::thread thread_;
};

// Receives the workers' reports on this thread: counts 2xx reports (one per probe) and ends.
struct ReportCounts {
  long ok = 0;
  long other = 0;
  long ended = 0;
};

LRESULT CALLBACK ReportProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SITE_STATUS) {
    auto* counts = reinterpret_cast<ReportCounts*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (lParam == 9) ++counts->ended;
    else if (lParam >= 200 && lParam < 300) ++counts->ok;
    else ++counts->other;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

class ProbeRun {
 public:
  ProbeRun(HWND receiver, unsigned port, int workers) : tasks_(static_cast<size_t>(workers)) {
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(port) + L"/";
    SetStopRequested(0);
    for (int i = 0; i < workers; ++i) {
      SiteProbeTask& task = tasks_[static_cast<size_t>(i)];
      task.siteNumber = i + 1;
      task.checkIntervalSeconds = 1;  // a probe on every tick
      task.retryCount = 1;
      task.retryIntervalSeconds = 1;
      task.lastStatus = 200;
      task.notifyWindow = receiver;
      task.url = reinterpret_cast<const char16_t*>(url.c_str());
      threads_.emplace_back(::CreateThread(nullptr, 0, SiteProbeThreadProc, &task, 0, nullptr));
    }
  }

  // Raises the stop flag and waits for every worker while dispatching their final reports; false
  // when one did not end in time.
  bool Stop() {
    SetStopRequested(1);
    bool allEnded = true;
    for (auto& thread : threads_)
      if (thread && !sitemon_test::PumpUntilSignalled(thread.get(), 60s)) allEnded = false;
    threads_.clear();
    return allEnded;
  }

  size_t started() const {
    size_t n = 0;
    for (const auto& t : threads_) n += t ? 1 : 0;
    return n;
  }

 private:
  std::vector<SiteProbeTask> tasks_;
  std::vector<UniqueKernelHandle> threads_;
};

struct Snapshot {
  long handles;
  long gdi;
  long windows;
  long long privateBytes;
};

Snapshot Take() {
  const sitemon_test::ResourceCounts c = sitemon_test::CountResources();
  return {static_cast<long>(c.kernelHandles), static_cast<long>(c.gdiObjects), static_cast<long>(c.windows),
          static_cast<long long>(c.privateBytes)};
}

}  // namespace

TEST(ProbeSoak, TenThousandProbesLeaveHandlesGdiAndMemoryFlat) {
  OkServer server;
  ASSERT_NE(server.port(), 0u) << "the loopback server did not start";
  HWND receiver = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(receiver, nullptr);
  ReportCounts counts;
  ::SetWindowLongPtrW(receiver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counts));
  ::SetWindowLongPtrW(receiver, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReportProc));

  auto runUntil = [&](long probes) {
    ProbeRun run(receiver, server.port(), kWorkers);
    ASSERT_EQ(run.started(), static_cast<size_t>(kWorkers));
    const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(probes / kWorkers + 60) * 1000;
    while (counts.ok < probes && static_cast<int>(deadline - ::GetTickCount()) > 0) PumpFor(100ms);
    const long endedBefore = counts.ended;
    EXPECT_TRUE(run.Stop()) << "every worker ends once the stop flag is up";
    EXPECT_EQ(counts.ended - endedBefore, kWorkers) << "every worker ends with one final report";
    ASSERT_GE(counts.ok, probes) << "the probes did not arrive in time";
    EXPECT_EQ(counts.other, 0) << "every probe of the loopback server is answered 200";
  };

  for (int i = 1; i <= kWarmUpRuns; ++i) {
    runUntil(static_cast<long>(kWarmUpProbes) * i);
    const Snapshot warm = Take();
    std::printf("warm-up run %d, %ld probes: handles %ld, GDI %ld, private %lld KiB\n", i, counts.ok, warm.handles,
                warm.gdi, warm.privateBytes / 1024);
  }
  const long afterWarmUp = counts.ok;
  const Snapshot base = Take();
  std::printf("baseline after %ld probes: handles %ld, GDI %ld, windows %ld, private %lld KiB\n", afterWarmUp,
              base.handles, base.gdi, base.windows, base.privateBytes / 1024);
  ASSERT_GT(base.handles, 0) << "the handle probe found nothing: the measure itself is broken";
  ASSERT_GT(base.privateBytes, 0) << "no private memory reading";

  Snapshot last = base;
  for (int i = 1; i <= kRuns; ++i) {
    runUntil(afterWarmUp + static_cast<long>(kMeasuredProbes) * i / kRuns);
    last = Take();
    std::printf("after %ld probes (%ld measured): handles %ld, GDI %ld, windows %ld, private %lld KiB\n", counts.ok,
                counts.ok - afterWarmUp, last.handles, last.gdi, last.windows, last.privateBytes / 1024);
  }
  EXPECT_GE(counts.ok - afterWarmUp, kMeasuredProbes);
  EXPECT_GE(server.answered(), counts.ok) << "each reported probe reached the server";
  EXPECT_LE(last.handles - base.handles, kHandleSlack) << "kernel handles grew";
  EXPECT_LE(last.gdi - base.gdi, kGdiSlack) << "GDI objects grew";
  EXPECT_EQ(last.windows, base.windows) << "windows grew";
  EXPECT_LE(last.privateBytes - base.privateBytes, kMemorySlackBytes) << "private memory grew";
  SetStopRequested(0);
  ::DestroyWindow(receiver);
}
