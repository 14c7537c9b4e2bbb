// sitemon_reliability_tool: measurements of SiteMonitor.exe and of its probe for script/bench
// and the soak checks. One command per run; results as "name value" lines on standard output,
// exit code 0 on success.
//
//   probe-compare <url> <n>      the worker's probe and a bare loop of the same WinINet calls,
//                                alternated, n of each: medians in ms
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
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "framework/unique_handle_win.h"
#include "monitor/probe_worker_win.h"
#include "tests/reliability/monitor_remote_win.h"
#include "tests/reliability/process_meter_win.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 20000;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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
  std::vector<double> ours, bare;
  int failures = 0;
  for (int i = -3; i < n; ++i) {  // three rounds of warm-up, not counted
    // Each probe closes its connection; which of the two goes first alternates, so any cost
    // the first of a pair pays is shared evenly.
    double a = 0, b = 0;
    bool oursOk = false, bareOk = false;
    auto runOurs = [&] {
      const LARGE_INTEGER t = Now();
      const HttpProbeResult r = ProbeUrlWinInet(url);
      a = MillisecondsSince(t);
      oursOk = r.outcome == HttpProbeResult::Outcome::kOpened && r.queryOk;
    };
    auto runBare = [&] {
      wchar_t status[51] = {};
      const LARGE_INTEGER t = Now();
      bareOk = BareProbe(url, status);
      b = MillisecondsSince(t);
    };
    if (i % 2 == 0) {
      runOurs();
      runBare();
    } else {
      runBare();
      runOurs();
    }
    if (!oursOk || !bareOk) ++failures;
    if (i >= 0) {
      ours.push_back(a);
      bare.push_back(b);
    }
  }
  std::printf("ours_median_ms %.4f\nbare_median_ms %.4f\nfailures %d\n", Median(ours), Median(bare), failures);
  return failures == 0 ? 0 : 1;
}

int ProbeTime(const wchar_t* url, int n) {
  std::vector<double> times;
  std::string status;
  for (int i = 0; i < n; ++i) {
    const LARGE_INTEGER t = Now();
    const HttpProbeResult r = ProbeUrlWinInet(url);
    times.push_back(MillisecondsSince(t));
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
    const LARGE_INTEGER t = Now();
    if (!::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      std::printf("error cannot start the program (%lu)\n", ::GetLastError());
      return 1;
    }
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    HWND main = nullptr;
    const bool shown = WaitFor([&] {
      main = FindMonitorWindow(info.dwProcessId);
      return main && ::IsWindowVisible(main);
    }, kWindowTimeoutMs);
    const double ms = MillisecondsSince(t);  // from before CreateProcess
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
  WaitFor([&] { return (main = FindMonitorWindow()) != nullptr; }, kWindowTimeoutMs);
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
  if (!SelectListEntry(main, kCheckIntervalId, intervalIndex) || !SelectListEntry(main, kRetryCountId, 0) ||
      !SelectListEntry(main, kRetryIntervalId, 0) || !SetControlText(main, kSiteListId, list)) {
    std::printf("error cannot fill the window\n");
    return 1;
  }
  const long rowsBefore = RunLogRows(main);
  double ms = 0;
  if (!PressButton(main, kStartId) ||
      !WaitFor([&] { return IsControlEnabled(main, kStopId) && RunLogRows(main) >= rowsBefore + sites + 1; },
               kWindowTimeoutMs, &ms)) {
    std::printf("error the run did not start\n");
    return 1;
  }
  std::printf("start_ms %.1f\n", ms);
  return 0;
}

int StopTime() {
  HWND main = MainOrFail();
  if (!main) return 1;
  if (!IsControlEnabled(main, kStopId)) {
    std::printf("error no run to stop\n");
    return 1;
  }
  double ms = 0;
  if (!PressButton(main, kStopId) || !WaitFor([&] { return IsControlEnabled(main, kStartId); }, 60000, &ms)) {
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
  const ProcessCounts c = CountProcessResources(process.get());
  std::printf("handles %u\ngdi %u\nwindows %u\nprivate_bytes %llu\nrows %ld\n", c.kernelHandles, c.gdiObjects,
              c.windows, static_cast<unsigned long long>(c.privateBytes), RunLogRows(main));
  return 0;
}

int Reports(int site, int status, int count, int batch, bool clear) {
  HWND main = MainOrFail();
  if (!main) return 1;
  for (int done = 0; done < count;) {
    const int now = std::min(batch, count - done);
    const long before = RunLogRows(main);
    for (int i = 0; i < now; ++i) ::PostMessageW(main, kSiteStatusMessage, static_cast<WPARAM>(site), status);
    if (!WaitFor([&] { return RunLogRows(main) >= before + now; }, 30000)) {
      std::printf("error the reports did not all arrive (rows %ld, expected %ld)\n", RunLogRows(main), before + now);
      return 1;
    }
    done += now;
    if (clear && (!PressButton(main, kClearLogId) || !WaitFor([&] { return RunLogRows(main) == 0; }, 30000))) {
      std::printf("error the log was not emptied\n");
      return 1;
    }
  }
  std::printf("reports %d\n", count);
  return 0;
}

int Close() {
  HWND main = MainOrFail();
  if (!main) return 1;
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  if (!WaitFor([&] { return !::IsWindow(main); }, kWindowTimeoutMs)) {
    std::printf("error the main window did not close\n");
    return 1;
  }
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
  else return Usage();
  std::fflush(stdout);
  return result;
}
