#include "shell/report_page_task_win.h"

#include <shellapi.h>

namespace {

void SayFailure(HWND window, const std::wstring& text) {
  ::MessageBoxW(window, text.c_str(), L"可用率报告", MB_OK | MB_ICONWARNING);
}

}  // namespace

std::wstring ReportPagePath(const wchar_t* historyFolder) {
  std::wstring folder(historyFolder != nullptr ? historyFolder : L"");
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  const size_t cut = folder.find_last_of(L"\\/");
  if (cut == std::wstring::npos || cut == 0) return std::wstring();
  return folder.substr(0, cut) + L"\\可用率报告.html";
}

void ReportPageTask::Start(HWND window, const wchar_t* historyFolder) {
  if (thread_) return;
  window_ = window;
  historyFolder_ = historyFolder != nullptr ? historyFolder : L"";
  target_ = ReportPagePath(historyFolder_.c_str());
  if (target_.empty()) {
    SayFailure(window, L"可用率报告无法生成：找不到数据文件夹。");
    return;
  }
  thread_.reset(::CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
  if (!thread_) SayFailure(window, L"可用率报告无法生成：无法启动生成报告的线程。");
}

DWORD WINAPI ReportPageTask::ThreadProc(LPVOID param) {
  auto* task = static_cast<ReportPageTask*>(param);
  const ReportPageFileResult result = WriteReportPageFile(task->historyFolder_.c_str(), task->target_);
  ::PostMessageW(task->window_, kReportPageMessage, result.written ? 1 : 0, static_cast<LPARAM>(result.error));
  return 0;
}

void ReportPageTask::OnDone(HWND window, WPARAM wParam, LPARAM lParam) {
  Wait();
  if (wParam == 0) {
    SayFailure(window, L"可用率报告无法写入：" + target_ + L"（错误 " + std::to_wstring(lParam) + L"）");
    return;
  }
  const auto opened = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(window, L"open", target_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) {
    SayFailure(window, L"可用率报告已写入 " + target_ + L"，但无法用浏览器打开（错误 " + std::to_wstring(opened) +
                           L"）。请在文件夹中双击打开它。");
  }
}

void ReportPageTask::Wait() {
  if (!thread_) return;
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}
