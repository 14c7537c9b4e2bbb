#pragma once
// The probe worker on Win32: its thread entry, the WinINet probe, the local-network test and
// the trace sink.
#include <windows.h>

#include <string>

#include "monitor/probe_worker.h"
#include "monitor/site_status_message.h"
#include "monitor/time_bound_probe.h"

// The trace folder (the GetLog folder of the data folder). The main window sets it at start-up,
// before any worker exists; empty until then.
extern wchar_t traceFolderPath[MAX_PATH];
// Copies path into traceFolderPath, cut to fit. Call before starting workers.
void SetTraceFolderPath(const wchar_t* path);

// The worker's thread entry; task is the worker's SiteProbeTask*, which must stay valid and
// unchanged (but for threadHandle and lastStatus) until the thread has ended. Returns 0.
DWORD WINAPI SiteProbeThreadProc(LPVOID task);

// Nonzero when the local network is alive: IsNetworkAlive decides, on every call. Before it,
// InternetGetConnectedState is asked (its answer ignored) once in each second of the tick count,
// program-wide, always by the same thread while that thread keeps calling (monitor/
// once_per_second.h); the other callers skip it. A worker gives the question up when it ends.
BOOL probeLocalNetwork();

// The trace sink: takes the trace folder and one line in the ANSI code page. Writes nothing
// (it is where a file trace would go); returns 1.
int traceLine(const wchar_t* folder, const char* line);

// How long one probe may wait to connect, to send and for the answer head, set on the internet
// handle so the request inherits it: on Windows an attempt on a site that never answers then ends
// by itself, as an address that could not be opened. (Wine 8's WinINet does not apply these
// options to a request made with InternetOpenUrlW; there the time limit below bounds the wait.)
constexpr DWORD kProbeTimeoutMs = 30000;

// How long the worker waits for one probe in all. Wine's WinINet ignores the time-outs above and
// follows a redirect to itself without end, and a site can drip its answer head a byte at a time
// within any per-read time-out: past this the attempt is abandoned to its helper thread and
// counts as an address that could not be opened.
constexpr DWORD kProbeTimeLimitMs = 30000;

// Runs job(argument) on a thread of the system's thread pool (marked long-running, so a held
// probe never delays the others). False when the pool refused.
bool LaunchOnThreadPool(void (*job)(void* argument), void* argument);

// One probe: a fresh internet handle (no cache writes), the address opened with a reload from
// the server, the status code queried; every handle is closed before returning.
HttpProbeResult ProbeUrlWinInet(const wchar_t* url, DWORD timeoutMs = kProbeTimeoutMs);

// Text in the local ANSI code page (code page 936 on a Chinese system).
std::string AnsiFromWide(U16View text);

// The worker's environment on Win32: real one-second sleeps, window messages, WinINet probes
// on a pool thread waited for at most timeLimit.
class Win32ProbeEnvironment final : public IProbeEnvironment {
 public:
  explicit Win32ProbeEnvironment(std::chrono::milliseconds timeLimit = std::chrono::milliseconds(kProbeTimeLimitMs));
  bool NetworkAlive() override;
  HttpProbeResult ProbeUrl(const char16_t* url) override;
  void SleepOneTick() override;
  void PostReport(void* window, int32_t siteNumber, ProbeStatus status) override;
  void SendFinalReport(void* window, int32_t siteNumber, ProbeStatus status) override;
  std::string ToAnsi(U16View text) override;
  void TraceLine(const char* ansiLine) override;

 private:
  TimeBoundProber prober_;
};
