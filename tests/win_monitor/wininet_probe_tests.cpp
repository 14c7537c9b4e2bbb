// The real WinINet probe against loopback servers started by the tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <wininet.h>

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "monitor/probe_worker_win.h"
#include "monitor/run_flags.h"
#include "tests/support/loopback_http_server_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/resource_counts_win.h"
#include "tests/support/test_files.h"

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

// How many kernel handles the process holds, and WinINet's own handles: WinINet hands out the
// lowest free slot, so the slot a fresh one gets stands in for their number (leaks push it up).
struct HandleUse {
  long kernel = 0;
  long internet = 0;
};

HandleUse MeasureHandleUse() {
  HandleUse use;
  use.kernel = static_cast<long>(sitemon_test::CountResources().kernelHandles);
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
  // A trace line leaves the trace folder as it was: nothing is written there.
  sitemon_test::TempFolder folder;
  ASSERT_TRUE(folder.ok());
  SetTraceFolderPath(folder.path().c_str());
  EXPECT_STREQ(traceFolderPath, folder.path().c_str());
  Win32ProbeEnvironment().TraceLine("[1]Access Successful!");
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
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

// ---- the worker's probe path: WinINet on a pool thread, waited for at most a time limit

namespace {

using Clock = std::chrono::steady_clock;

// Probes through the environment until an answer opens (an abandoned attempt fails the ones
// after it at once until it has ended); the last result.
HttpProbeResult ProbeUntilOpened(Win32ProbeEnvironment& env, const std::wstring& url, std::chrono::seconds within) {
  const auto deadline = Clock::now() + within;
  HttpProbeResult r;
  do {
    r = env.ProbeUrl(AsU16(url.c_str()));
    if (r.outcome == Outcome::kOpened) break;
    Sleep(50);
  } while (Clock::now() < deadline);
  return r;
}

}  // namespace

TEST_F(WinInetProbeTest, TheWorkersProbeGivesUpOnSilentAndDrippingSitesAtItsTimeLimit) {
  server.SetReply("/silent", sitemon_test::NeverAnswer());
  server.SetReply("/drip", sitemon_test::Dripped(sitemon_test::StatusReply(200, "OK"), 100ms));
  LoopbackHttpServer healthy;
  ASSERT_TRUE(healthy.ok());
  healthy.SetReply("/ok", sitemon_test::StatusReply(200, "OK"));

  for (const char* path : {"/silent", "/drip"}) {
    Win32ProbeEnvironment env(1000ms);
    const auto began = Clock::now();
    EXPECT_EQ(env.ProbeUrl(AsU16(server.WideUrl(path).c_str())).outcome, Outcome::kUrlNotOpened) << path;
    const auto waited = Clock::now() - began;
    EXPECT_GE(waited, 950ms) << path;
    EXPECT_LT(waited, 30s) << path;  // bounded: a wait for the site itself would never end
    // The abandoned attempt still holds its connection: the next one fails without a request.
    const size_t requestsBefore = healthy.RequestCount();
    EXPECT_EQ(env.ProbeUrl(AsU16(healthy.WideUrl("/ok").c_str())).outcome, Outcome::kUrlNotOpened) << path;
    EXPECT_EQ(healthy.RequestCount(), requestsBefore) << path;
    if (std::string_view(path) == "/drip") {
      // The drip ends by itself (about 6 s for the whole answer); then the worker probes again.
      const HttpProbeResult r = ProbeUntilOpened(env, healthy.WideUrl("/ok"), 30s);
      EXPECT_EQ(r.outcome, Outcome::kOpened);
      EXPECT_EQ(r.statusText, u"200");
    }
  }
}

TEST_F(WinInetProbeTest, TheWorkersProbeIsFreedWhenTheSiteLetsGoAndLeavesNoHandlesBehind) {
  server.SetReply("/silent", sitemon_test::NeverAnswer());
  LoopbackHttpServer healthy;
  ASSERT_TRUE(healthy.ok());
  healthy.SetReply("/ok", sitemon_test::StatusReply(200, "OK"));
  healthy.SetReply("/missing", sitemon_test::StatusReply(404, "Not Found"));
  Win32ProbeEnvironment env(500ms);
  Win32ProbeEnvironment patient(30s);  // the counted probes: a busy machine never cuts them short
  for (int i = 0; i < 10; ++i) {       // warm-up
    env.ProbeUrl(AsU16(healthy.WideUrl("/ok").c_str()));
    patient.ProbeUrl(AsU16(healthy.WideUrl("/ok").c_str()));
  }
  const HandleUse before = MeasureHandleUse();

  EXPECT_EQ(env.ProbeUrl(AsU16(server.WideUrl("/silent").c_str())).outcome, Outcome::kUrlNotOpened);
  server.Stop();  // the silent site lets go: the abandoned attempt ends and closes its handles
  const HttpProbeResult r = ProbeUntilOpened(env, healthy.WideUrl("/ok"), 20s);
  ASSERT_EQ(r.outcome, Outcome::kOpened);
  EXPECT_EQ(r.statusText, u"200");

  for (int i = 0; i < 200; ++i) {
    const HttpProbeResult each = patient.ProbeUrl(AsU16(healthy.WideUrl(i % 2 ? "/ok" : "/missing").c_str()));
    ASSERT_EQ(each.outcome, Outcome::kOpened) << i;
    ASSERT_EQ(each.statusText, i % 2 ? u"200" : u"404") << i;
  }
  ASSERT_TRUE(healthy.WaitForRequests(221, 30s));
  // The pool thread of the last probe may still be on its way out.
  HandleUse after;
  sitemon_test::PollUntil(
      [&] {
        after = MeasureHandleUse();
        return after.kernel - before.kernel < 20 && after.internet - before.internet < 5;
      },
      2s);
  EXPECT_LT(after.kernel - before.kernel, 20) << before.kernel << " -> " << after.kernel;
  EXPECT_LT(after.internet - before.internet, 5) << before.internet << " -> " << after.internet;
}

TEST_F(WinInetProbeTest, LeavingTheProgramAbandonsAHeldProbeAtOnce) {
  server.SetReply("/silent", sitemon_test::NeverAnswer());
  Win32ProbeEnvironment env;  // the program's own limit
  HANDLE raiser = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        Sleep(300);
        SetExitRequested(1);
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(raiser, nullptr);
  const auto began = Clock::now();
  const HttpProbeResult r = env.ProbeUrl(AsU16(server.WideUrl("/silent").c_str()));
  const auto waited = Clock::now() - began;
  WaitForSingleObject(raiser, INFINITE);
  CloseHandle(raiser);
  SetExitRequested(0);
  EXPECT_EQ(r.outcome, Outcome::kAbandoned);
  EXPECT_LT(waited, 15s);  // half the probe's own 30-second limit
}

TEST_F(WinInetProbeTest, ARedirectToItselfEndsWithinTheTimeLimit) {
  server.SetReply("/loop", sitemon_test::StatusReply(302, "Found", "Location: " + server.Url("/loop") + "\r\n"));
  Win32ProbeEnvironment env(1000ms);
  const auto began = Clock::now();
  const HttpProbeResult r = env.ProbeUrl(AsU16(server.WideUrl("/loop").c_str()));
  // Windows gives up on the chain itself; Wine follows it for ever and the limit ends the wait.
  EXPECT_LT(Clock::now() - began, 30s);
  EXPECT_TRUE(r.outcome == Outcome::kUrlNotOpened || r.outcome == Outcome::kOpened);
  server.Stop();  // the chain's next hop is refused: the abandoned attempt ends
}
