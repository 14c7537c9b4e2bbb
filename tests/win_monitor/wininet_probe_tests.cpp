// The real WinINet probe against loopback servers started by the tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <wininet.h>

#include "framework/unique_handle_win.h"
#include "framework/wide_text_win.h"
#include "monitor/probe_worker_win.h"
#include "tests/support/loopback_http_server_win.h"

using namespace std::chrono_literals;
using sitemon_test::LoopbackHttpServer;
using Outcome = HttpProbeResult::Outcome;

namespace {

class WinInetProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.ok()); }

  // Probes the path and returns the status the worker would read.
  HttpProbeResult Probe(std::string_view path) { return ProbeUrlWinInet(server.WideUrl(path).c_str()); }

  LoopbackHttpServer server;
};

}  // namespace

TEST_F(WinInetProbeTest, ReadsTheStatusCodeOfPlainAnswers) {
  server.SetReply("/ok", sitemon_test::StatusReply(200, "OK", "", "hello"));
  server.SetReply("/missing", sitemon_test::StatusReply(404, "Not Found"));
  server.SetReply("/broken", sitemon_test::StatusReply(500, "Internal Server Error"));
  server.SetReply("/odd", sitemon_test::StatusReply(999, "Whatever"));
  struct Case {
    const char* path;
    const char16_t* text;
    bool success;
  };
  for (const Case& c : {Case{"/ok", u"200", true}, Case{"/missing", u"404", false}, Case{"/broken", u"500", false},
                        Case{"/odd", u"999", true}}) {
    const HttpProbeResult r = Probe(c.path);
    EXPECT_EQ(r.outcome, Outcome::kOpened) << c.path;
    EXPECT_TRUE(r.queryOk) << c.path;
    EXPECT_EQ(r.statusText, c.text) << c.path;
    EXPECT_EQ(IsProbeSuccess(LeadingDecimal(r.statusText), r.queryOk), c.success) << c.path;
  }
  ASSERT_TRUE(server.WaitForRequests(4, 5s));
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/ok");
  EXPECT_EQ(requests[3].target, "/odd");
}

TEST_F(WinInetProbeTest, RedirectWithoutLocationIsReadAsItIsAndOneWithLocationIsFollowed) {
  server.SetReply("/stay", sitemon_test::StatusReply(302, "Found"));
  server.SetReply("/moved", sitemon_test::StatusReply(302, "Found", "Location: " + server.Url("/target") + "\r\n"));
  server.SetReply("/target", sitemon_test::StatusReply(200, "OK"));

  const HttpProbeResult stay = Probe("/stay");
  EXPECT_EQ(stay.outcome, Outcome::kOpened);
  EXPECT_EQ(stay.statusText, u"302");

  const HttpProbeResult moved = Probe("/moved");
  EXPECT_EQ(moved.outcome, Outcome::kOpened);
  EXPECT_EQ(moved.statusText, u"200");
  ASSERT_TRUE(server.WaitForRequests(3, 5s));
  EXPECT_EQ(server.Requests()[1].target, "/moved");
  EXPECT_EQ(server.Requests()[2].target, "/target");
}

TEST_F(WinInetProbeTest, MalformedOrMissingStatusLinesReadAsZeroOr200) {
  server.SetReply("/garbled", sitemon_test::RawReply("HTTP/1.1 abc def\r\nContent-Length: 0\r\n\r\n"));
  server.SetReply("/bare", sitemon_test::RawReply("just some bytes, no status line\r\n"));
  // A status line with letters where the code belongs: WinINet answers the query with "0",
  // which the worker reads as status 0: no status code, so an HTTP failure.
  const HttpProbeResult garbled = Probe("/garbled");
  ASSERT_EQ(garbled.outcome, Outcome::kOpened);
  EXPECT_LE(garbled.statusText.size(), 25u);
  EXPECT_EQ(LeadingDecimal(garbled.statusText), 0);
  EXPECT_FALSE(IsProbeSuccess(LeadingDecimal(garbled.statusText), garbled.queryOk));
  // No status line at all: read as an HTTP/0.9 answer.
  const HttpProbeResult bare = Probe("/bare");
  EXPECT_EQ(bare.outcome, Outcome::kOpened);
  EXPECT_EQ(bare.statusText, u"200");
}

TEST_F(WinInetProbeTest, UnreachableOrUnusableAddressesDoNotOpen) {
  // A port nobody listens on: take a free port from a server that is then gone.
  std::wstring refused;
  {
    LoopbackHttpServer gone;
    ASSERT_TRUE(gone.ok());
    refused = gone.WideUrl("/");
  }
  EXPECT_EQ(ProbeUrlWinInet(refused.c_str()).outcome, Outcome::kUrlNotOpened);
  EXPECT_EQ(ProbeUrlWinInet(L"not a url").outcome, Outcome::kUrlNotOpened);
  EXPECT_EQ(ProbeUrlWinInet(L"").outcome, Outcome::kUrlNotOpened);
  EXPECT_EQ(ProbeUrlWinInet(L"http://").outcome, Outcome::kUrlNotOpened);
}

TEST_F(WinInetProbeTest, VeryLongAddressIsRequestedWhole) {
  server.SetDefaultReply(sitemon_test::StatusReply(200, "OK"));
  std::string path(2001 - server.Url("/").size(), 'a');
  path[0] = '/';
  const std::wstring url = server.WideUrl(path);
  ASSERT_EQ(url.size(), 2000u);
  const HttpProbeResult r = ProbeUrlWinInet(url.c_str());
  ASSERT_EQ(r.outcome, Outcome::kOpened);
  EXPECT_EQ(r.statusText, u"200");
  ASSERT_TRUE(server.WaitForRequests(1, 5s));
  EXPECT_EQ(server.Requests()[0].target, path);
}

namespace {

// How many handles the process holds. Where GetProcessHandleCount is not supported (Wine answers
// 0), the slot a fresh handle gets stands in: both Windows and Wine hand out the lowest free slot,
// so leaked handles push it up. WinINet's own handles are watched the same way.
struct HandleUse {
  long kernel = 0;
  long internet = 0;
};

HandleUse MeasureHandleUse() {
  HandleUse use;
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
    use.kernel = static_cast<long>(count);
  } else {
    UniqueKernelHandle probe(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    use.kernel = static_cast<long>(reinterpret_cast<uintptr_t>(probe.get()) / 4);
  }
  UniqueInternetHandle internet(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  use.internet = static_cast<long>(reinterpret_cast<uintptr_t>(internet.get()));
  return use;
}

}  // namespace

TEST_F(WinInetProbeTest, EveryHandleIsClosedAfterEachProbe) {
  server.SetReply("/ok", sitemon_test::StatusReply(200, "OK"));
  server.SetReply("/missing", sitemon_test::StatusReply(404, "Not Found"));
  std::wstring refused;
  {
    LoopbackHttpServer gone;
    ASSERT_TRUE(gone.ok());
    refused = gone.WideUrl("/");
  }
  // The measure is real: ten handles held open show.
  const HandleUse idle = MeasureHandleUse();
  {
    std::vector<UniqueKernelHandle> held;
    std::vector<UniqueInternetHandle> heldInternet;
    for (int i = 0; i < 10; ++i) {
      held.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      heldInternet.emplace_back(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    }
    const HandleUse busy = MeasureHandleUse();
    ASSERT_GE(busy.kernel - idle.kernel, 10) << "the measure does not see held handles";
    ASSERT_GE(busy.internet - idle.internet, 10) << "the measure does not see held internet handles";
  }

  for (int i = 0; i < 10; ++i) Probe("/ok");  // warm-up: WinINet's own lasting state
  const HandleUse before = MeasureHandleUse();
  const int kProbes = 300;
  for (int i = 0; i < kProbes; ++i) {
    switch (i % 3) {
      case 0: ASSERT_EQ(Probe("/ok").outcome, Outcome::kOpened) << i; break;
      case 1: ASSERT_EQ(Probe("/missing").outcome, Outcome::kOpened) << i; break;
      default: ASSERT_EQ(ProbeUrlWinInet(refused.c_str()).outcome, Outcome::kUrlNotOpened) << i; break;
    }
  }
  ASSERT_TRUE(server.WaitForRequests(10 + kProbes * 2 / 3, 10s));
  const HandleUse after = MeasureHandleUse();
  // A leak of one handle per probe would add a hundred or more; the server's connection
  // threads still finishing may hold a few.
  EXPECT_LT(after.kernel - before.kernel, 20) << before.kernel << " -> " << after.kernel;
  EXPECT_LT(after.internet - before.internet, 5) << before.internet << " -> " << after.internet;
}

TEST(ProbeSupport, LocalNetworkTraceSinkAndAnsiText) {
  // Wine's IsNetworkAlive reports a LAN even without interfaces; a real machine has loopback.
  EXPECT_NE(probeLocalNetwork(), FALSE);
  EXPECT_EQ(traceLine(traceFolderPath, "[1]Access Successful!"), 1);
  SetTraceFolderPath(L"C:\\data\\GetLog");
  EXPECT_STREQ(traceFolderPath, L"C:\\data\\GetLog");
  const std::wstring tooLong(400, L'x');
  SetTraceFolderPath(tooLong.c_str());
  EXPECT_EQ(wcslen(traceFolderPath), static_cast<size_t>(MAX_PATH - 1));
  SetTraceFolderPath(nullptr);
  EXPECT_STREQ(traceFolderPath, L"");

  EXPECT_EQ(AnsiFromWide(u"[1]ok"), "[1]ok");
  EXPECT_EQ(AnsiFromWide(u""), "");
  if (GetACP() == 936) {
    EXPECT_EQ(AnsiFromWide(u"网络不通"), "\xCD\xF8\xC2\xE7\xB2\xBB\xCD\xA8");
  } else {
    GTEST_SKIP() << "not running in code page 936 (ACP " << GetACP() << ")";
  }
}

TEST_F(WinInetProbeTest, AConnectionClosedWithoutAByteIsNoProperAnswer) {
  server.SetReply("/empty", sitemon_test::RawReply(""));
  const HttpProbeResult r = Probe("/empty");
  if (r.outcome == Outcome::kOpened) {  // Wine reads it as an answer with status "0"
    EXPECT_EQ(LeadingDecimal(r.statusText), 0);
    EXPECT_FALSE(IsProbeSuccess(LeadingDecimal(r.statusText), r.queryOk));
  } else {
    EXPECT_EQ(r.outcome, Outcome::kUrlNotOpened);
  }
}
