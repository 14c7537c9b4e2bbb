// sitemon_reliability_tool: measurements of SiteMonitor.exe and of its probe for script/bench
// and the soak checks. One command per run; results as "name value" lines on standard output,
// exit code 0 on success.
//
//   probe-compare <url> <n>      the worker's probe (on a pool thread, waited for by the worker)
//                                and a bare loop of the same WinINet calls, interleaved, n of
//                                each: medians in ms and the median of the n paired ratios;
//                                also the same calls made directly on the calling thread (what
//                                the hop to the pool thread costs)
//   probe-time <url> <n>         the worker's probe n times: median and slowest in ms, status
//   start-visible <exe> <n>      n starts of the program: ms from CreateProcess to the main window
//                                shown (median), each closed again
//   run <url> <sites> [interval-index]   fill the list with <sites> lines of the address (the edit
//                                takes 1023 characters: 40 lines of "http://127.0.0.1:NNNNN/" fit),
//                                pick the check interval (list position, default 0 = 30 s), one
//                                retry and the shortest retry interval, press Start, wait for Stop
//   stop-time                    press Stop; ms until Start is enabled again
//   counts                       handles, GDI objects, windows, private bytes of the program
//   reports <site> <status> <n> <batch> [clear]  post n status reports in batches, waiting for
//                                each batch's rows; with "clear", empty the log after each batch
//   close                        close the main window and wait until it is gone
//   popup                        whether the program's popup (the window holding the body text
//                                IDC_POPUP_TEXT) is visible
//   stack-depth <url>            how deep each of the worker's calls reaches into a fresh thread's
//                                stack (painted before the call, scanned after it), in KiB
//   threads <n> <what> <seconds> n threads that each do <what> for the given seconds, then end
//                                (sleep: Sleep(1000) in a loop; worker: the worker's tick, the
//                                shared network probe then Sleep(1000); every-call: the tick with
//                                InternetGetConnectedState on every thread every second; alive:
//                                IsNetworkAlive then Sleep(1000); connected-once: one
//                                InternetGetConnectedState, then sleep; connected-once-in-turn:
//                                the same, one thread at a time; connected-one-thread: the
//                                first thread asks InternetGetConnectedState before its
//                                IsNetworkAlive every second, the others only IsNetworkAlive;
//                                connected-first-comer: the same question asked once a second
//                                by whichever thread comes first; connected-round-robin: asked
//                                by each thread in turn, one a second); the process's memory and
//                                CPU are read from outside
//   read-files <folder>         every file of the folder read once in 256 KiB blocks, as the
//                                report reads the day files: bytes and ms (the report's anchor)
//   cycle <exe> <list> <check> <retries> <retry-interval> <actions> <kill-ms>
//                                one life of the program: start it, report the site list it loaded,
//                                pick the three list positions, put <list> (lines separated by
//                                "|") into the edit box, then the actions in order: S Start (done
//                                when Start's handler has returned, so site.txt is written), P
//                                Stop, X close and wait for the exit. A second thread terminates
//                                the process <kill-ms> after it was created (-1: never; a process
//                                still running after the actions is terminated then).
//   list-churn <rows> <stage> <length> [delete-first]
//                                a bare run log: a visible window holding a report-view list
//                                view; <rows> rows of <length> characters inserted at the top, the
//                                bottom row deleted past the program's row limit (before the
//                                insert with "delete-first", as the program does, else after it);
//                                after every <stage> rows prints "rows <n>" and waits for a line
//                                on standard input, so the memory can be read from outside
//   tick-cost <n>                what one worker tick costs besides its sleep: the shared network
//                                probe, and its two calls apart, n times each; ms of wall and
//                                CPU time per call
#include <windows.h>
#include <commctrl.h>
#include <sensapi.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "monitor/probe_worker_win.h"
#include "monitor/site_status_message.h"
#include "res/resource.h"
#include "shell/run_log_limit.h"
#include "tests/e2e/driver/target_windows_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/resource_counts_win.h"
#include "tests/support/window_view_win.h"

using namespace std::chrono_literals;
using sitemon_test::PollUntil;
using sitemon_test::Stopwatch;

namespace {

constexpr DWORD kWindowTimeoutMs = 20000;
constexpr std::chrono::milliseconds kWindowTimeout{kWindowTimeoutMs};
constexpr DWORD kProbePauseMs = 20;
// Waits that are measured poll every millisecond.
constexpr std::chrono::milliseconds kPoll{1};

bool SelectEntry(HWND main, int id, int index) { return SelectComboEntry(::GetDlgItem(main, id), index); }
bool PressButton(HWND main, int id) { return PostClick(::GetDlgItem(main, id)); }
bool IsControlEnabled(HWND main, int id) { return ::IsWindowEnabled(::GetDlgItem(main, id)) != FALSE; }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The value below which the given share of the values lie (nearest rank).
double Quantile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t rank = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[rank];
}

// The worker's WinINet calls with its flags, and nothing around them.
bool BareProbe(const wchar_t* url, wchar_t (&status)[51]) {
  HINTERNET internet =
      ::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_NO_CACHE_WRITE);
  if (!internet) return false;
  HINTERNET request = ::InternetOpenUrlW(internet, url, nullptr, 0, INTERNET_FLAG_RELOAD, 0);
  bool ok = false;
  if (request) {
    DWORD size = 50;
    ok = ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, status, &size, nullptr) != FALSE;
    ::InternetCloseHandle(request);
  }
  ::InternetCloseHandle(internet);
  return ok;
}

int ProbeCompare(const wchar_t* url, int n) {
  std::vector<double> ours, bare, direct, ratios, directRatios;
  int failures = 0;
  Win32ProbeEnvironment worker;
  for (int i = -3; i < n; ++i) {  // three rounds of warm-up, not counted
    // Each probe closes its connection; which of the two goes first alternates, so any cost
    // the first of a pair pays is shared evenly.
    double a = 0, b = 0;
    bool oursOk = false, bareOk = false;
    // A worker's probes are a second or more apart: each timed probe starts after a short pause,
    // so it does not pay for the close of the one before (back to back, Wine makes every other
    // probe wait about 2 ms for that, whichever thread it runs on).
    auto runOurs = [&] {
      ::Sleep(kProbePauseMs);
      const Stopwatch t;
      const HttpProbeResult r = worker.ProbeUrl(AsU16(url));
      a = t.Milliseconds();
      oursOk = r.outcome == HttpProbeResult::Outcome::kOpened && r.queryOk;
    };
    auto runBare = [&] {
      wchar_t status[51] = {};
      ::Sleep(kProbePauseMs);
      const Stopwatch t;
      bareOk = BareProbe(url, status);
      b = t.Milliseconds();
    };
    if (i % 2 == 0) {
      runOurs();
      runBare();
    } else {
      runBare();
      runOurs();
    }
    if (!oursOk || !bareOk) ++failures;
    ::Sleep(kProbePauseMs);
    const Stopwatch t;
    const HttpProbeResult same = ProbeUrlWinInet(url);
    const double c = t.Milliseconds();
    if (same.outcome != HttpProbeResult::Outcome::kOpened) ++failures;
    if (i >= 0 && b > 0) {
      ours.push_back(a);
      bare.push_back(b);
      direct.push_back(c);
      // A pair is taken within some 70 ms: its ratio cancels what the machine's load does
      // to both, which the ratio of two medians does not.
      ratios.push_back(a / b);
      directRatios.push_back(c / b);
    }
  }
  std::printf("ours_median_ms %.4f\nbare_median_ms %.4f\ndirect_median_ms %.4f\nratio_median %.4f\n"
              "direct_ratio_median %.4f\npairs %zu\nfailures %d\n",
              Median(ours), Median(bare), Median(direct), Median(ratios), Median(directRatios), ratios.size(),
              failures);
  // The two halves of the run apart: how far the figure moves within one run.
  const auto half = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2);
  std::printf("ratio_median_first_half %.4f\nratio_median_second_half %.4f\n",
              Median(std::vector<double>(ratios.begin(), half)), Median(std::vector<double>(half, ratios.end())));
  // The lower quantiles: the probes that the machine's other work left alone.
  for (const double share : {0.02, 0.05, 0.1, 0.25})
    std::printf("ours_p%02.0f_ms %.4f\nbare_p%02.0f_ms %.4f\ndirect_p%02.0f_ms %.4f\n", share * 100,
                Quantile(ours, share), share * 100, Quantile(bare, share), share * 100, Quantile(direct, share));
  return failures == 0 ? 0 : 1;
}

int ProbeTime(const wchar_t* url, int n) {
  std::vector<double> times;
  std::string status;
  for (int i = 0; i < n; ++i) {
    const Stopwatch t;
    const HttpProbeResult r = ProbeUrlWinInet(url);
    times.push_back(t.Milliseconds());
    status = r.outcome == HttpProbeResult::Outcome::kOpened ? Utf8FromU16(r.statusText) : "none";
  }
  std::printf("median_ms %.2f\nmax_ms %.2f\nstatus %s\n", Median(times),
              *std::max_element(times.begin(), times.end()), status.c_str());
  return 0;
}

int StartVisible(const wchar_t* exe, int n) {
  std::vector<double> times;
  for (int i = 0; i < n; ++i) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
    const Stopwatch t;
    if (!::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      std::printf("error cannot start the program (%lu)\n", ::GetLastError());
      return 1;
    }
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    HWND main = nullptr;
    const bool shown = PollUntil([&] {
      main = FindMainWindow(info.dwProcessId);
      return main && ::IsWindowVisible(main);
    }, kWindowTimeout, kPoll);
    const double ms = t.Milliseconds();  // from before CreateProcess
    if (!shown) {
      ::TerminateProcess(process.get(), 1);
      std::printf("error the main window was not shown\n");
      return 1;
    }
    times.push_back(ms);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), kWindowTimeoutMs) != WAIT_OBJECT_0) {
      ::TerminateProcess(process.get(), 1);
      std::printf("error the program did not end after WM_CLOSE\n");
      return 1;
    }
    std::printf("start_%d_ms %.1f\n", i, ms);
  }
  std::printf("median_ms %.1f\n", Median(times));
  return 0;
}

HWND MainOrFail() {
  HWND main = nullptr;
  PollUntil([&] { return (main = FindMainWindow()) != nullptr; }, kWindowTimeout, kPoll);
  if (!main) std::printf("error main window not found\n");
  return main;
}

int Run(const wchar_t* url, int sites, int intervalIndex) {
  HWND main = MainOrFail();
  if (!main) return 1;
  std::wstring list;
  for (int i = 1; i <= sites; ++i) {
    if (i > 1) list += L"\r\n";
    list += url;
  }
  if (!SelectEntry(main, IDC_CHECK_INTERVAL, intervalIndex) || !SelectEntry(main, IDC_RETRY_COUNT, 0) ||
      !SelectEntry(main, IDC_RETRY_INTERVAL, 0) || !SetControlText(::GetDlgItem(main, IDC_SITE_LIST), list)) {
    std::printf("error cannot fill the window\n");
    return 1;
  }
  const long long rowsBefore = RunLogRowCount(main);
  double ms = 0;
  if (!PressButton(main, IDC_START) ||
      !PollUntil([&] { return IsControlEnabled(main, IDC_STOP) && RunLogRowCount(main) >= rowsBefore + sites + 1; },
                 kWindowTimeout, kPoll, &ms)) {
    std::printf("error the run did not start\n");
    return 1;
  }
  std::printf("start_ms %.1f\n", ms);
  return 0;
}

int StopTime() {
  HWND main = MainOrFail();
  if (!main) return 1;
  if (!IsControlEnabled(main, IDC_STOP)) {
    std::printf("error no run to stop\n");
    return 1;
  }
  double ms = 0;
  if (!PressButton(main, IDC_STOP) ||
      !PollUntil([&] { return IsControlEnabled(main, IDC_START); }, 60s, kPoll, &ms)) {
    std::printf("error Start was not enabled again\n");
    return 1;
  }
  std::printf("stop_ms %.1f\n", ms);
  return 0;
}

UniqueKernelHandle OpenProgram(HWND main) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(main, &pid);
  return UniqueKernelHandle(
      ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
}

int Counts() {
  HWND main = MainOrFail();
  if (!main) return 1;
  UniqueKernelHandle process = OpenProgram(main);
  if (!process) {
    std::printf("error cannot open the program's process\n");
    return 1;
  }
  const sitemon_test::ResourceCounts c = sitemon_test::CountResources(process.get());
  std::printf("handles %u\ngdi %u\nwindows %u\nprivate_bytes %llu\nrows %lld\n", c.kernelHandles, c.gdiObjects,
              c.windows, static_cast<unsigned long long>(c.privateBytes), RunLogRowCount(main));
  return 0;
}

int Reports(int site, int status, int count, int batch, bool clear) {
  HWND main = MainOrFail();
  if (!main) return 1;
  for (int done = 0; done < count;) {
    const int now = std::min(batch, count - done);
    const long long before = RunLogRowCount(main);
    for (int i = 0; i < now; ++i) ::PostMessageW(main, WM_SITE_STATUS, static_cast<WPARAM>(site), status);
    if (!PollUntil([&] { return RunLogRowCount(main) >= before + now; }, 30s, kPoll)) {
      std::printf("error the reports did not all arrive (rows %lld, expected %lld)\n", RunLogRowCount(main),
                  before + now);
      return 1;
    }
    done += now;
    if (clear &&
        (!PressButton(main, IDC_CLEAR_LOG) || !PollUntil([&] { return RunLogRowCount(main) == 0; }, 30s, kPoll))) {
      std::printf("error the log was not emptied\n");
      return 1;
    }
  }
  std::printf("reports %d\n", count);
  return 0;
}

int Popup() {
  HWND main = MainOrFail();
  if (!main) return 1;
  HWND popup = FindPopup(main);
  std::printf("exists %d\nvisible %d\n", popup ? 1 : 0, popup && ::IsWindowVisible(popup) ? 1 : 0);
  return 0;
}

int Close() {
  HWND main = MainOrFail();
  if (!main) return 1;
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  if (!PollUntil([&] { return !::IsWindow(main); }, kWindowTimeout, kPoll)) {
    std::printf("error the main window did not close\n");
    return 1;
  }
  return 0;
}

double CpuMs() {
  FILETIME created, ended, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto ms = [](const FILETIME& f) {
    return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

template <typename Call>
void TimeCalls(const char* name, int n, Call call) {
  const double cpu = CpuMs();
  const Stopwatch t;
  for (int i = 0; i < n; ++i) call();
  std::printf("%s_wall_ms %.3f\n%s_cpu_ms %.3f\n", name, t.Milliseconds() / n, name, (CpuMs() - cpu) / n);
}

int TickCost(int n) {
  // Spread over a few seconds, as the workers' ticks are: the shared probe asks the costly
  // question only once in each second.
  TimeCalls("network_probe", n, [] {
    probeLocalNetwork();
    ::Sleep(10);
  });
  TimeCalls("sleep_10ms", n, [] { ::Sleep(10); });
  TimeCalls("connected_state", n, [] {
    DWORD flags = 0;
    ::InternetGetConnectedState(&flags, 0);
  });
  TimeCalls("network_alive", n, [] {
    DWORD flags = 0;
    ::IsNetworkAlive(&flags);
  });
  TimeCalls("sleep_1ms", n, [] { ::Sleep(1); });
  return 0;
}

// Paints the unused part of the calling thread's stack, runs call, and returns how many KiB of the
// stack (from its top) the call reached.
template <typename Call>
double StackDepthKiB(Call call) {
  volatile BYTE marker = 0;
  MEMORY_BASIC_INFORMATION region{};
  ::VirtualQuery(const_cast<BYTE*>(&marker), &region, sizeof region);
  const ULONG_PTR low = reinterpret_cast<ULONG_PTR>(region.AllocationBase);
  // The top of the region holding this frame: the stack's top, give or take its last page.
  const ULONG_PTR high = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
  const ULONG_PTR here = reinterpret_cast<ULONG_PTR>(&marker) - 16 * 1024;  // stay clear of this frame
  const ULONG_PTR from = low + 64 * 1024;                                   // clear of the guard area
  for (ULONG_PTR a = from; a < here; a += sizeof(ULONG_PTR)) *reinterpret_cast<volatile ULONG_PTR*>(a) = 0xC0FFEE11C0FFEE11ull;
  call();
  ULONG_PTR deepest = here;
  for (ULONG_PTR a = from; a < here; a += sizeof(ULONG_PTR))
    if (*reinterpret_cast<volatile ULONG_PTR*>(a) != 0xC0FFEE11C0FFEE11ull) {
      deepest = a;
      break;
    }
  return static_cast<double>(high - deepest) / 1024.0;
}

struct DepthJob {
  const wchar_t* url;
  int which;
  double kib;
};

DWORD WINAPI MeasureDepth(LPVOID param) {
  auto* job = static_cast<DepthJob*>(param);
  job->kib = StackDepthKiB([job] {
    DWORD flags = 0;
    switch (job->which) {
      case 0: ::Sleep(1); break;
      case 1: ::InternetGetConnectedState(&flags, 0); break;
      case 2: ::IsNetworkAlive(&flags); break;
      case 3: ProbeUrlWinInet(job->url); break;
    }
  });
  return 0;
}

int StackDepth(const wchar_t* url) {
  const char* names[] = {"sleep", "connected_state", "network_alive", "probe"};
  for (int which = 0; which < 4; ++which) {
    DepthJob job{url, which, 0};
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, MeasureDepth, &job, 0, nullptr));
    if (!thread) return 1;
    ::WaitForSingleObject(thread.get(), INFINITE);
    std::printf("%s_stack_kib %.1f\n", names[which], job.kib);
  }
  return 0;
}

enum class TickKind {
  kSleep, kWorker, kEveryCall, kAlive, kConnectedOnce, kConnectedOnceInTurn, kConnectedOneThread,
  kConnectedFirstComer, kConnectedRoundRobin
};

struct ThreadsJob {
  TickKind kind;
  DWORD seconds;
  SRWLOCK turn = SRWLOCK_INIT;
  LONG started = 0;
  int count = 1;
  std::atomic<int64_t> lastAsked{-1};
};

// True for the first caller in each second, whichever thread it is.
bool FirstInSecond(std::atomic<int64_t>& lastAsked, int64_t second) {
  int64_t last = lastAsked.load(std::memory_order_relaxed);
  while (second > last)
    if (lastAsked.compare_exchange_weak(last, second, std::memory_order_relaxed)) return true;
  return false;
}

DWORD WINAPI RunTicks(LPVOID param) {
  auto* job = static_cast<ThreadsJob*>(param);
  DWORD flags = 0;
  const LONG index = ::InterlockedIncrement(&job->started) - 1;
  if (job->kind == TickKind::kConnectedOnce) ::InternetGetConnectedState(&flags, 0);
  if (job->kind == TickKind::kConnectedOnceInTurn) {
    ::AcquireSRWLockExclusive(&job->turn);
    ::InternetGetConnectedState(&flags, 0);
    ::ReleaseSRWLockExclusive(&job->turn);
  }
  for (DWORD i = 0; i < job->seconds; ++i) {
    const int64_t second = static_cast<int64_t>(::GetTickCount64() / 1000);
    switch (job->kind) {
      case TickKind::kWorker: probeLocalNetwork(); break;
      case TickKind::kEveryCall:
        ::InternetGetConnectedState(&flags, 0);
        ::IsNetworkAlive(&flags);
        break;
      case TickKind::kAlive: ::IsNetworkAlive(&flags); break;
      case TickKind::kConnectedOneThread:
        if (index == 0) ::InternetGetConnectedState(&flags, 0);
        ::IsNetworkAlive(&flags);
        break;
      case TickKind::kConnectedFirstComer:
        if (FirstInSecond(job->lastAsked, second)) ::InternetGetConnectedState(&flags, 0);
        ::IsNetworkAlive(&flags);
        break;
      case TickKind::kConnectedRoundRobin:
        if (second % job->count == index && FirstInSecond(job->lastAsked, second))
          ::InternetGetConnectedState(&flags, 0);
        ::IsNetworkAlive(&flags);
        break;
      default: break;
    }
    ::Sleep(1000);
  }
  return 0;
}

bool TickKindFromName(const std::wstring& name, TickKind& kind) {
  const std::pair<const wchar_t*, TickKind> names[] = {{L"sleep", TickKind::kSleep},
                                                       {L"worker", TickKind::kWorker},
                                                       {L"every-call", TickKind::kEveryCall},
                                                       {L"alive", TickKind::kAlive},
                                                       {L"connected-once", TickKind::kConnectedOnce},
                                                       {L"connected-once-in-turn", TickKind::kConnectedOnceInTurn},
                                                       {L"connected-one-thread", TickKind::kConnectedOneThread},
                                                       {L"connected-first-comer", TickKind::kConnectedFirstComer},
                                                       {L"connected-round-robin", TickKind::kConnectedRoundRobin}};
  for (const auto& [text, value] : names)
    if (name == text) {
      kind = value;
      return true;
    }
  return false;
}

int Threads(int n, TickKind kind, int seconds) {
  ThreadsJob job{};
  job.kind = kind;
  job.seconds = static_cast<DWORD>(seconds);
  job.count = std::max(1, n);
  std::vector<UniqueKernelHandle> threads;
  for (int i = 0; i < n; ++i) threads.emplace_back(::CreateThread(nullptr, 0, RunTicks, &job, 0, nullptr));
  std::printf("ready\n");
  std::fflush(stdout);
  for (auto& t : threads) ::WaitForSingleObject(t.get(), INFINITE);
  return 0;
}

// The site-list edit box's text, line breaks shown as "|"; false when the window did not answer.
bool ReadSiteList(HWND main, std::wstring& text) {
  std::wstring buffer;
  if (!sitemon_test::WindowTextOf(::GetDlgItem(main, IDC_SITE_LIST), buffer)) return false;
  text.clear();
  for (size_t i = 0; i < buffer.size(); ++i) {
    if (buffer[i] == L'\r' && i + 1 < buffer.size() && buffer[i + 1] == L'\n') {
      text += L'|';
      ++i;
    } else {
      text += buffer[i];
    }
  }
  return true;
}

struct Killer {
  HANDLE process;
  DWORD afterMs;
  HANDLE cancel;
};

DWORD WINAPI KillLater(LPVOID param) {
  const auto* k = static_cast<const Killer*>(param);
  if (::WaitForSingleObject(k->cancel, k->afterMs) == WAIT_TIMEOUT) ::TerminateProcess(k->process, 9);
  return 0;
}

int Cycle(const wchar_t* exe, std::wstring list, int check, int retries, int retryInterval, const std::wstring& actions,
          int killMs) {
  for (auto& c : list)
    if (c == L'|') c = L'\n';
  std::wstring text;  // "|" becomes CR LF
  for (wchar_t c : list) text += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
  if (!::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::printf("error cannot start the program (%lu)\n", ::GetLastError());
    return 1;
  }
  UniqueKernelHandle process(info.hProcess), mainThread(info.hThread);
  UniqueKernelHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Killer killer{process.get(), static_cast<DWORD>(killMs), cancel.get()};
  UniqueKernelHandle killerThread(killMs >= 0 ? ::CreateThread(nullptr, 0, KillLater, &killer, 0, nullptr) : nullptr);
  auto alive = [&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT; };

  int done = 0;
  HWND main = nullptr;
  auto shown = [&] { return (main = FindMainWindow(info.dwProcessId)) && ::IsWindowVisible(main); };
  bool ok = PollUntil([&] { return !alive() || shown(); }, kWindowTimeout, kPoll) && alive();
  std::wstring loaded;
  if (ok && ReadSiteList(main, loaded))
    std::printf("loaded %s\n", Utf8FromU16(U16View(AsU16(loaded.c_str()), loaded.size())).c_str());
  else ok = false;
  ok = ok && SelectEntry(main, IDC_CHECK_INTERVAL, check) && SelectEntry(main, IDC_RETRY_COUNT, retries) &&
       SelectEntry(main, IDC_RETRY_INTERVAL, retryInterval) && SetControlText(::GetDlgItem(main, IDC_SITE_LIST), text);
  for (size_t i = 0; ok && i < actions.size(); ++i) {
    DWORD_PTR ignored = 0;
    switch (actions[i]) {
      case L'S':
        // Stop is enabled early in Start's handler; the sent WM_NULL is handled only after the
        // handler has returned, that is after site.txt was written.
        ok = PressButton(main, IDC_START) &&
             PollUntil([&] { return !alive() || IsControlEnabled(main, IDC_STOP); }, kWindowTimeout, kPoll) &&
             alive() &&
             ::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
        break;
      case L'P':
        ok = PressButton(main, IDC_STOP) &&
             PollUntil([&] { return !alive() || IsControlEnabled(main, IDC_START); }, 30s, kPoll) && alive();
        break;
      case L'X':
        ok = ::PostMessageW(main, WM_CLOSE, 0, 0) && ::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
        break;
      default:
        ok = false;
    }
    if (ok) ++done;
  }
  std::printf("done %d\n", done);
  if (killerThread) {
    // Let the kill happen at its moment, even after the actions (an idle or closing program).
    ::WaitForSingleObject(process.get(), static_cast<DWORD>(killMs) + 5000);
    ::SetEvent(cancel.get());
    ::WaitForSingleObject(killerThread.get(), INFINITE);
  }
  if (alive()) {
    ::TerminateProcess(process.get(), 9);
    ::WaitForSingleObject(process.get(), 30000);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  std::printf("exit_code %lu\n", code);
  return 0;
}

// list-churn: the anchor for the program's memory while its log is full.
LRESULT CALLBACK ChurnWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void PumpPending() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

int ListChurn(int rows, int stage, int length, bool deleteFirst) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ChurnWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"SitemonListChurn";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"list churn", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 600, 400, nullptr, nullptr, windowClass.hInstance, nullptr);
  HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOCOLUMNHEADER, 20, 20,
                                520, 300, window, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr || list == nullptr) {
    std::printf("error no list view\n");
    return 1;
  }
  wchar_t title[] = L"log";
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.cx = 490;
  column.pszText = title;
  ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  std::wstring text(static_cast<size_t>(std::max(1, length)), L'x');
  PumpPending();
  for (int done = 1; done <= rows; ++done) {
    auto trim = [&](LRESULT keep) {
      for (LRESULT count = ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); count > keep; --count)
        ::SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(count - 1), 0);
    };
    if (deleteFirst) trim(kRunLogRowLimit - 1);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.pszText = text.data();
    ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (!deleteFirst) trim(kRunLogRowLimit);
    if (done % 500 == 0) PumpPending();
    if (done % stage == 0) {
      std::printf("rows %d\n", done);
      std::fflush(stdout);
      char line[16];
      if (std::fgets(line, sizeof line, stdin) == nullptr) break;
    }
  }
  ::DestroyWindow(window);
  return 0;
}

int ReadFiles(const wchar_t* folder) {
  const ULONGLONG started = ::GetTickCount64();
  uint64_t bytes = 0;
  static char buffer[256 * 1024];
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 1;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    HANDLE file = ::CreateFileW((std::wstring(folder) + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes += got;
    ::CloseHandle(file);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::printf("bytes %llu\nms %llu\n", static_cast<unsigned long long>(bytes),
              static_cast<unsigned long long>(::GetTickCount64() - started));
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: see the header of reliability_tool_win.cpp\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  auto number = [&](int index, int fallback) { return index < argc ? _wtoi(argv[index]) : fallback; };
  int result = 2;
  if (command == L"probe-compare" && argc >= 4) result = ProbeCompare(argv[2], std::max(1, number(3, 50)));
  else if (command == L"probe-time" && argc >= 4) result = ProbeTime(argv[2], std::max(1, number(3, 1)));
  else if (command == L"start-visible" && argc >= 4) result = StartVisible(argv[2], std::max(1, number(3, 5)));
  else if (command == L"run" && argc >= 4) result = Run(argv[2], number(3, 1), number(4, 0));
  else if (command == L"stop-time") result = StopTime();
  else if (command == L"counts") result = Counts();
  else if (command == L"reports" && argc >= 6)
    result = Reports(number(2, 1), number(3, 302), number(4, 1), std::max(1, number(5, 50)),
                     argc > 6 && std::wstring(argv[6]) == L"clear");
  else if (command == L"close") result = Close();
  else if (command == L"popup") result = Popup();
  else if (command == L"stack-depth" && argc >= 3) result = StackDepth(argv[2]);
  else if (TickKind kind{}; command == L"threads" && argc >= 5 && TickKindFromName(argv[3], kind))
    result = Threads(std::max(0, number(2, 1)), kind, std::max(1, number(4, 10)));
  else if (command == L"cycle" && argc >= 9)
    result = Cycle(argv[2], argv[3], number(4, 0), number(5, 0), number(6, 0), argv[7], number(8, -1));
  else if (command == L"list-churn" && argc >= 5)
    result = ListChurn(std::max(1, number(2, 1)), std::max(1, number(3, 1)), number(4, 60),
                       argc > 5 && std::wstring(argv[5]) == L"delete-first");
  else if (command == L"tick-cost") result = TickCost(std::max(1, number(2, 200)));
  else if (command == L"read-files" && argc >= 3) result = ReadFiles(argv[2]);
  else return Usage();
  std::fflush(stdout);
  return result;
}
