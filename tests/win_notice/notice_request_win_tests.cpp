// The notice request against a loopback notice service started by each test.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/wide_text_win.h"
#include "monitor/run_flags.h"
#include "notice/notice_request_win.h"
#include "notice_test_window_win.h"
#include "tests/support/loopback_http_server_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/resource_counts_win.h"

using namespace notice_win_test;
using namespace std::chrono_literals;
using sitemon_test::LoopbackHttpServer;
using sitemon_test::PumpUntil;
using sitemon_test::StatusReply;

namespace {

const char kTarget[] = "/index.php?g=Api&m=Client&a=getInfo";
const U16 kBody = u"softtype=2&ver=1.1.0.0";
const U16 kUpdateText = u"发现新版本，请及时更新";

std::string Json200(const std::string& body) { return body; }

// One request made on its own thread (as the notice thread does) while this thread dispatches
// the window's messages. Returns what it came to.
NoticeRequestOutcome RequestOnce(uint16_t port, NoticeLink& link, NoticeCheckState& state,
                                 const std::function<void()>& whileInFlight = {}) {
  std::atomic<bool> done{false};
  NoticeRequestOutcome outcome = NoticeRequestOutcome::NotSent;
  // The request gets its own link reference, as the thread does.
  std::thread thread([&] {
    auto env = MakeWinNoticeEnvironment(link, L"127.0.0.1", port);
    PerformNoticeRequest(state, kBody, link, *env, &outcome);
    done = true;
  });
  if (whileInFlight) whileInFlight();
  const bool finished = PumpUntil([&] { return done.load(); }, 120s);  // 10 MB on a busy machine
  thread.join();
  EXPECT_TRUE(finished);
  return outcome;
}

}  // namespace

TEST(NoticeRequestWin, SendsTheFormPostAsTheServiceExpects) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply(kTarget, StatusReply(200, "OK", "Content-Type: application/json\r\n", "{}"));
  auto exchange = SendNoticeRequest(L"127.0.0.1", server.port(), kBody);
  ASSERT_NE(exchange, nullptr);
  EXPECT_EQ(exchange->StatusCode(), 200);
  char chunk[513] = {};
  EXPECT_EQ(exchange->ReadChunk(chunk, 512), 2);
  EXPECT_STREQ(chunk, "{}");
  exchange.reset();

  ASSERT_TRUE(server.WaitForRequests(1, 5s));
  const auto request = server.Requests()[0];
  EXPECT_EQ(request.requestLine, "POST /index.php?g=Api&m=Client&a=getInfo HTTP/1.0");
  EXPECT_EQ(request.Header("User-Agent"), "Dorvane");
  EXPECT_EQ(request.Header("Accept"), "*/*");
  EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.Header("Content-Length"), "22");
  EXPECT_EQ(request.body, "softtype=2&ver=1.1.0.0");
}

TEST(NoticeRequestWin, UpdateAndNoticeReachTheWindowOnce) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply(kTarget, StatusReply(200, "OK", "", Json200(
      R"({"update":1,"notice_id":7,"notice_text":"twenty chars notice!"})")));
  TestWindow window;
  NoticeLink link(window.hwnd(), 0);
  window.data()->link = &link;
  NoticeCheckState state;
  EXPECT_EQ(RequestOnce(server.port(), link, state), NoticeRequestOutcome::Understood);
  EXPECT_EQ(RequestOnce(server.port(), link, state), NoticeRequestOutcome::Understood);
  EXPECT_EQ(link.LastNoticeId(), 7);
  EXPECT_EQ(state.answeredRequests, 5);  // 1 lifted to 3, then 4 plus 1
  EXPECT_EQ(window.data()->outlets.calls,
            (std::vector<OutletCall>{{OutletCall::Popup, 1, 0, kUpdateText, kAppTitle},
                                     {OutletCall::Popup, 1, 0, u"twenty chars notice!", u"Dorvane提示"}}));
}

// A window whose thread has not read its queue for over five seconds looks hung to the system.
// A notice sent to it then must still be shown once it reads its queue again, and only then
// count as seen.
TEST(NoticeRequestWin, ANoticeForAWindowThatLooksHungIsShownWhenItAnswersAgain) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply(kTarget, StatusReply(200, "OK", "", Json200(
      R"({"notice_id":7,"notice_text":"shown after a pause"})")));
  TestWindow window;
  NoticeLink link(window.hwnd(), 0);
  window.data()->link = &link;
  NoticeCheckState state;
  ::Sleep(5500);  // the window's thread reads nothing: from now on it looks hung
  EXPECT_EQ(RequestOnce(server.port(), link, state, [&] {
              ::Sleep(1500);  // the notice is handed over while the window still looks hung
              EXPECT_EQ(link.LastNoticeId(), 0);
            }),
            NoticeRequestOutcome::Understood);
  EXPECT_EQ(window.data()->outlets.calls,
            (std::vector<OutletCall>{{OutletCall::Popup, 1, 0, u"shown after a pause", u"Dorvane提示"}}));
  EXPECT_EQ(link.LastNoticeId(), 7);
  EXPECT_EQ(link.HeldNoticeCount(), 0u);
}

TEST(NoticeRequestWin, NoticeTextInTheAnsiCodePageIsConverted) {
  if (::GetACP() != 936) GTEST_SKIP() << "needs code page 936 (script/lib/wine-env.sh sets it)";
  // "服务器今晚维护" in code page 936, raw in the JSON string.
  const std::string gbk = "\xB7\xFE\xCE\xF1\xC6\xF7\xBD\xF1\xCD\xED\xCE\xAC\xBB\xA4";
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply(kTarget,
                  StatusReply(200, "OK", "", "{\"notice_id\":3,\"notice_text\":\"" + gbk + "\"}"));
  TestWindow window;
  NoticeLink link(window.hwnd(), 0);
  window.data()->link = &link;
  NoticeCheckState state;
  EXPECT_EQ(RequestOnce(server.port(), link, state), NoticeRequestOutcome::Understood);
  ASSERT_EQ(window.data()->outlets.calls.size(), 1u);
  EXPECT_EQ(window.data()->outlets.calls[0].text, u"服务器今晚维护");
}

TEST(NoticeRequestWin, FailedAndOddRepliesShowNothing) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  const std::string notice = R"({"update":1,"notice_id":9,"notice_text":"should not appear"})";
  struct Case {
    const char* name;
    sitemon_test::ScriptedReply reply;
    NoticeRequestOutcome outcome;
  };
  const std::vector<Case> cases = {
      {"404", StatusReply(404, "Not Found", "", notice), NoticeRequestOutcome::BadStatus},
      {"500", StatusReply(500, "Internal Server Error", "", notice),
       NoticeRequestOutcome::BadStatus},
      {"html", StatusReply(200, "OK", "", "<html><body>maintenance</body></html>"),
       NoticeRequestOutcome::NotUnderstood},
      {"array", StatusReply(200, "OK", "", "[" + notice + "]"), NoticeRequestOutcome::Unusable},
      {"10 MB", StatusReply(200, "OK", "", R"({"update":1,"pad":")" + std::string(10 << 20, 'p') +
                                               "\"}"),
       NoticeRequestOutcome::NotUnderstood},
  };
  for (const Case& c : cases) {
    server.SetReply(kTarget, c.reply);
    TestWindow window;
    NoticeLink link(window.hwnd(), 0);
    window.data()->link = &link;
    NoticeCheckState state;
    EXPECT_EQ(RequestOnce(server.port(), link, state), c.outcome) << c.name;
    EXPECT_EQ(state.answeredRequests, c.outcome == NoticeRequestOutcome::Unusable ? 3 : 1)
        << c.name;
    EXPECT_TRUE(window.data()->outlets.calls.empty()) << c.name;
    EXPECT_EQ(link.LastNoticeId(), 0) << c.name;
  }
}

TEST(NoticeRequestWin, RefusedPortEndsTheRequestQuietly) {
  uint16_t deadPort = 0;
  {
    LoopbackHttpServer server;  // a port that was just free and is closed again
    ASSERT_TRUE(server.ok());
    deadPort = server.port();
  }
  TestWindow window;
  NoticeLink link(window.hwnd(), 0);
  NoticeCheckState state;
  EXPECT_EQ(RequestOnce(deadPort, link, state), NoticeRequestOutcome::NotSent);
  EXPECT_EQ(state.answeredRequests, 0);
  EXPECT_TRUE(window.data()->outlets.calls.empty());
}

TEST(NoticeRequestWin, HandleCountStaysFlatOverRepeatedRequests) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  TestWindow window;
  NoticeLink link(window.hwnd(), 0);
  window.data()->link = &link;
  NoticeCheckState state;
  const std::vector<sitemon_test::ScriptedReply> replies = {
      StatusReply(200, "OK", "", R"({"update":1})"), StatusReply(404, "Not Found"),
      StatusReply(200, "OK", "", "not json"), StatusReply(200, "OK", "", std::string(5000, '['))};
  const auto round = [&](int times) {
    for (int i = 0; i < times; ++i) {
      server.SetReply(kTarget, replies[static_cast<size_t>(i) % replies.size()]);
      RequestOnce(server.port(), link, state);
    }
  };
  round(8);  // WinINet sets up its own helpers on first use
  const uint32_t before = sitemon_test::CountResources().kernelHandles;
  ASSERT_GT(before, 0u) << "the handle count is not real";
  round(40);
  const uint32_t after = sitemon_test::CountResources().kernelHandles;
  EXPECT_LE(after, before + 3) << "before " << before << ", after " << after;
  EXPECT_EQ(server.RequestCount(), 48u);
}
