#include "monitor/probe_worker_win.h"

#include <sensapi.h>
#include <wininet.h>

#include <memory>
#include <new>
#include <utility>

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "monitor/once_per_second.h"

wchar_t traceFolderPath[MAX_PATH] = {};

void SetTraceFolderPath(const wchar_t* path) {
  CopyToField(AsU16(traceFolderPath), MAX_PATH, path ? U16View(AsU16(path)) : U16View());
}

namespace {
// Who asks InternetGetConnectedState this second. Under Wine each call walks the network
// interfaces through the wineserver (about 1.5 ms of CPU), and the first call from each thread
// leaves some 10 KiB behind; its answer is ignored, so one call a second from one worker serves
// the whole program. A cost gate only: no worker reads anything through it.
OncePerSecond connectedStateGate;
}  // namespace

BOOL probeLocalNetwork() {
  const bool alive = CheckNetworkSharingIgnoredQuestion(
      connectedStateGate, static_cast<uint32_t>(::GetCurrentThreadId()),
      static_cast<int64_t>(::GetTickCount64() / 1000),
      [] {
        DWORD connectedFlags = 0;
        ::InternetGetConnectedState(&connectedFlags, 0);  // asked for its side effects only
      },
      [] {
        DWORD aliveFlags = 0;
        return ::IsNetworkAlive(&aliveFlags) != FALSE;
      });
  return alive ? TRUE : FALSE;
}

int traceLine(const wchar_t* /*folder*/, const char* /*line*/) {
  return 1;
}

HttpProbeResult ProbeUrlWinInet(const wchar_t* url, DWORD timeoutMs) {
  HttpProbeResult result;
  UniqueInternetHandle internet(
      ::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_NO_CACHE_WRITE));
  if (!internet) {
    result.outcome = HttpProbeResult::Outcome::kNoInternetHandle;
    return result;
  }
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionW(internet.get(), option, &timeoutMs, sizeof timeoutMs);
  UniqueInternetHandle request(::InternetOpenUrlW(internet.get(), url, nullptr, 0, INTERNET_FLAG_RELOAD, 0));
  if (!request) {
    result.outcome = HttpProbeResult::Outcome::kUrlNotOpened;
    return result;  // the internet handle closes on the way out
  }
  result.outcome = HttpProbeResult::Outcome::kOpened;
  // 51 zero-filled units offered as 50 bytes: whatever the query writes, a terminator stays.
  wchar_t status[51] = {};
  DWORD size = 50;
  result.queryOk = ::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE, status, &size, nullptr) != FALSE;
  result.statusText = AsU16(status);
  // The body is never read: close the request, then the internet handle.
  request.reset();
  internet.reset();
  return result;
}

std::string AnsiFromWide(U16View text) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, AsWide(text.data()), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, AsWide(text.data()), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

namespace {
struct PoolJob {
  void (*job)(void*);
  void* argument;
};

DWORD WINAPI RunPoolJob(LPVOID parameter) {
  const PoolJob pooled = *static_cast<PoolJob*>(parameter);
  delete static_cast<PoolJob*>(parameter);
  pooled.job(pooled.argument);
  return 0;
}

HttpProbeResult ProbeWithDefaultTimeouts(const char16_t* url) { return ProbeUrlWinInet(AsWide(url)); }

// A flag under a slim lock with a condition variable: under Wine both wait and wake stay in the
// process (no wineserver round trip, as an event's do), so the hop to the pool thread and back
// costs next to nothing beside the probe.
class SlimAttemptSignal final : public AttemptSignal {
 public:
  void Raise() override {
    ::AcquireSRWLockExclusive(&lock_);
    raised_ = true;
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeConditionVariable(&changed_);
  }
  bool WaitFor(std::chrono::milliseconds wait) override {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    ::AcquireSRWLockExclusive(&lock_);
    while (!raised_) {
      const ULONGLONG now = ::GetTickCount64();
      if (now >= deadline) break;
      // Woken, timed out or woken for nothing: the flag decides.
      ::SleepConditionVariableSRW(&changed_, &lock_, static_cast<DWORD>(deadline - now), 0);
    }
    const bool seen = raised_;
    raised_ = false;
    ::ReleaseSRWLockExclusive(&lock_);
    return seen;
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  bool raised_ = false;
};

std::unique_ptr<AttemptSignal> MakeSlimAttemptSignal() {
  return std::unique_ptr<AttemptSignal>(new (std::nothrow) SlimAttemptSignal);
}
}  // namespace

bool LaunchOnThreadPool(void (*job)(void* argument), void* argument) {
  auto* pooled = new (std::nothrow) PoolJob{job, argument};
  if (pooled == nullptr) return false;
  if (::QueueUserWorkItem(RunPoolJob, pooled, WT_EXECUTELONGFUNCTION)) return true;
  delete pooled;
  return false;
}

Win32ProbeEnvironment::Win32ProbeEnvironment(std::chrono::milliseconds timeLimit)
    : prober_(&ProbeWithDefaultTimeouts, &LaunchOnThreadPool, timeLimit, &MakeSlimAttemptSignal) {}

bool Win32ProbeEnvironment::NetworkAlive() { return probeLocalNetwork() != FALSE; }

HttpProbeResult Win32ProbeEnvironment::ProbeUrl(const char16_t* url) { return prober_.Probe(url); }

void Win32ProbeEnvironment::SleepOneTick() { ::Sleep(1000); }

void Win32ProbeEnvironment::PostReport(void* window, int32_t siteNumber, ProbeStatus status) {
  ::PostMessageW(static_cast<HWND>(window), WM_SITE_STATUS, static_cast<WPARAM>(siteNumber),
                 static_cast<LPARAM>(status));
}

void Win32ProbeEnvironment::SendFinalReport(void* window, int32_t siteNumber, ProbeStatus status) {
  ::SendMessageW(static_cast<HWND>(window), WM_SITE_STATUS, static_cast<WPARAM>(siteNumber),
                 static_cast<LPARAM>(status));
}

std::string Win32ProbeEnvironment::ToAnsi(U16View text) { return AnsiFromWide(text); }

void Win32ProbeEnvironment::TraceLine(const char* ansiLine) { traceLine(traceFolderPath, ansiLine); }

DWORD WINAPI SiteProbeThreadProc(LPVOID task) {
  if (task == nullptr) return 0;
  Win32ProbeEnvironment env;
  const uint32_t result = RunSiteProbeWorker(*static_cast<const SiteProbeTask*>(task), env);
  // Another worker asks the ignored question from now on.
  connectedStateGate.Release(static_cast<uint32_t>(::GetCurrentThreadId()));
  return result;
}
