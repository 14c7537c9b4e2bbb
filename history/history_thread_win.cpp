#include "history/history_thread_win.h"

#include <deque>
#include <string>
#include <vector>

#include "history/history_folder_win.h"
#include "history/history_writer.h"

namespace {

constexpr DWORD kEndWaitMs = 5000;

class Lock {
 public:
  explicit Lock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
  ~Lock() { ::ReleaseSRWLockExclusive(&lock_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

struct HistoryThread::Shared {
  Shared(const wchar_t* path, std::string run, HWND window)
      : folder(path), writer(folder, std::move(run)), notify(window) {}
  int64_t Counter() const { return static_cast<int64_t>((::GetTickCount64() - startTicks) / 1000); }

  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  std::deque<HandedRow> handed;  // under lock
  bool ending = false;           // under lock
  const ULONGLONG startTicks = ::GetTickCount64();
  Win32HistoryFolder folder;
  HistoryWriter writer;  // the thread's alone
  HWND notify;
};

namespace {

DWORD WINAPI HistoryThreadProc(void* parameter) {
  // The thread holds its own share: a stalled disk may keep it past its owner's end.
  std::shared_ptr<HistoryThread::Shared> shared(
      std::move(*static_cast<std::shared_ptr<HistoryThread::Shared>*>(parameter)));
  delete static_cast<std::shared_ptr<HistoryThread::Shared>*>(parameter);
  for (;;) {
    std::deque<HandedRow> rows;
    bool ending = false;
    {
      Lock lock(shared->lock);
      const DWORD wait = shared->writer.Waiting() ? kHistoryRetrySeconds * 1000 : INFINITE;
      if (shared->handed.empty() && !shared->ending) ::SleepConditionVariableSRW(&shared->wake, &shared->lock, wait, 0);
      rows.swap(shared->handed);
      ending = shared->ending;
    }
    for (HandedRow& row : rows) shared->writer.Add(std::move(row));
    const WriterNow now{shared->Counter(), UtcSecondsNow(), LocalZoneMinutes()};
    for (U16& row : shared->writer.Write(now)) {
      auto* posted = new U16(std::move(row));
      if (!::PostMessageW(shared->notify, WM_HISTORY_ROW, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
    }
    if (ending) {
      Lock lock(shared->lock);
      if (shared->handed.empty()) return 0;
    }
  }
}

}  // namespace

U16 TakeHistoryRow(LPARAM lParam) {
  std::unique_ptr<U16> row(reinterpret_cast<U16*>(lParam));
  return row ? std::move(*row) : U16();
}

HistoryThread::HistoryThread(const wchar_t* folder, char program, HWND notify) {
  std::string run(1, program);
  run += '-';
  run += std::to_string(UtcSecondsNow());
  run += '-';
  run += std::to_string(::GetCurrentProcessId());
  shared_ = std::make_shared<Shared>(folder, std::move(run), notify);
  auto* share = new std::shared_ptr<Shared>(shared_);
  thread_ = ::CreateThread(nullptr, 0, HistoryThreadProc, share, 0, nullptr);
  if (thread_ == nullptr) delete share;
}

HistoryThread::~HistoryThread() {
  if (thread_ == nullptr) return;
  {
    Lock lock(shared_->lock);
    shared_->ending = true;
  }
  ::WakeConditionVariable(&shared_->wake);
  ::WaitForSingleObject(thread_, kEndWaitMs);
  ::CloseHandle(thread_);
}

void HistoryThread::Post(U16View row) {
  if (thread_ == nullptr) return;
  HandedRow handed{U16(row), shared_->Counter(), UtcSecondsNow()};
  {
    Lock lock(shared_->lock);
    if (shared_->handed.size() >= kHistoryRowsKept) shared_->handed.pop_front();
    shared_->handed.push_back(std::move(handed));
  }
  ::WakeConditionVariable(&shared_->wake);
}
