// The notice thread with a real window: started as the main window starts it, and a request in
// flight while the window is destroyed.
#include <gtest/gtest.h>

#include <thread>

#include "monitor/run_flags.h"
#include "notice_test_window_win.h"
#include "tests/support/loopback_http_server_win.h"
#include "tests/support/message_pump_win.h"

using namespace notice_win_test;
using namespace std::chrono_literals;
using sitemon_test::Dripped;
using sitemon_test::LoopbackHttpServer;
using sitemon_test::PumpFor;
using sitemon_test::PumpUntil;
using sitemon_test::StatusReply;

namespace {

const char kNoticeTarget[] = "/index.php?g=Api&m=Client&a=getInfo";
const std::string kNotice =
    R"({"update":1,"notice_id":5,"notice_text":"the service is moving tonight"})";

// Raises the exit flag for the test's scope and lowers it again.
struct ExitFlagGuard {
  ~ExitFlagGuard() { SetExitRequested(0); }
};

}  // namespace

TEST(NoticeThreadWin, StartedThreadAsksAfterNineSecondsAndEndsOnExit) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply(kNoticeTarget, StatusReply(200, "OK", "", kNotice));
  TestWindow window;
  ExitFlagGuard guard;
  const auto started = std::chrono::steady_clock::now();
  auto link = StartNoticeCheckAt(window.hwnd(), 2, 2, u"1.1.0.0", L"127.0.0.1", server.port());
  window.data()->link = link.get();
  std::weak_ptr<NoticeLink> watch = link;

  ASSERT_TRUE(PumpUntil([&] { return window.data()->outlets.calls.size() >= 2; }, 30s));
  const auto firstRequest = std::chrono::steady_clock::now() - started;
  EXPECT_GE(firstRequest, 8s);  // 9 s to the second: the notice schedule's tests
  EXPECT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].body, "softtype=2&ver=1.1.0.0");
  EXPECT_EQ(link->LastNoticeId(), 5);  // what the window saves at its end
  EXPECT_EQ(window.data()->outlets.calls[1].text, u"the service is moving tonight");

  // The window's end: mark gone, raise the exit flag; the thread lets go of the link within a
  // second or so (the bound is for a busy machine; without the flag it would sleep ten minutes).
  MarkNoticeWindowGone(link);
  SetExitRequested(1);
  link.reset();
  ASSERT_TRUE(PumpUntil([&] { return watch.expired(); }, 30s));
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(NoticeThreadWin, ExitRaisedBeforeStartEndsTheThreadAtOnce) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  TestWindow window;
  ExitFlagGuard guard;
  SetExitRequested(1);
  auto link = StartNoticeCheckAt(window.hwnd(), 0, 2, u"1.1.0.0", L"127.0.0.1", server.port());
  std::weak_ptr<NoticeLink> watch = link;
  link.reset();
  ASSERT_TRUE(PumpUntil([&] { return watch.expired(); }, 30s));
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

// The reply trickles in while the window is being destroyed; the thread must neither post nor
// send to it (the window procedure counts every WM_SERVICE_NOTICE it receives). Three moments of
// the window's end: marked gone but still alive (its WM_DESTROY handler is still running and the
// stop wait dispatches messages), marked and destroyed, and destroyed without being marked.
TEST(NoticeThreadWin, WindowEndingWhileTheRequestIsInFlightGetsNothing) {
  enum End { MarkedOnly, MarkedAndDestroyed, DestroyedOnly };
  for (End end : {MarkedOnly, MarkedAndDestroyed, DestroyedOnly}) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.ok());
    server.SetReply(kNoticeTarget, Dripped(StatusReply(200, "OK", "", kNotice), 15ms));
    auto window = std::make_unique<TestWindow>();
    auto link = std::make_shared<NoticeLink>(window->hwnd(), 0);
    window->data()->link = nullptr;  // the handler must not filter: the thread alone decides
    g_noticeMessages = 0;

    std::atomic<bool> done{false};
    NoticeRequestOutcome outcome = NoticeRequestOutcome::NotSent;
    std::thread thread([link, &done, &outcome, port = server.port()] {
      auto env = MakeWinNoticeEnvironment(*link, L"127.0.0.1", port);
      NoticeCheckState state;
      PerformNoticeRequest(state, u"softtype=2&ver=1.1.0.0", *link, *env, &outcome);
      done = true;
    });
    ASSERT_TRUE(server.WaitForRequests(1, 10s));
    EXPECT_FALSE(done.load()) << "the reply should still be on its way";
    if (end != DestroyedOnly) MarkNoticeWindowGone(link);  // as the main window does first
    if (end != MarkedOnly) window.reset();  // destroys the window and frees its data
    link.reset();
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 30s)) << end;
    thread.join();
    PumpFor(200ms);
    EXPECT_EQ(outcome, NoticeRequestOutcome::Understood) << end;
    EXPECT_EQ(g_noticeMessages.load(), 0) << end;
    if (window) {
      EXPECT_TRUE(window->data()->outlets.calls.empty());
    }
  }
}
