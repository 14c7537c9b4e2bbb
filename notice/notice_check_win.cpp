#include "notice/notice_check_win.h"

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "monitor/run_flags.h"
#include "notice/notice_check.h"
#include "notice/notice_request_win.h"
#include "notice/service_notice_handler.h"
#include "notice/service_notice_message.h"

#ifndef SITEMON_NOTICE_HOST
#define SITEMON_NOTICE_HOST "notice.dorvane.example"
#endif
#ifndef SITEMON_NOTICE_PORT
#define SITEMON_NOTICE_PORT 80
#endif

namespace {

#define SITEMON_WIDEN2(s) L##s
#define SITEMON_WIDEN(s) SITEMON_WIDEN2(s)

class WinNoticeEnvironment : public INoticeEnvironment {
 public:
  WinNoticeEnvironment(const NoticeLink& link, const wchar_t* host, INTERNET_PORT port)
      : link_(link), window_(static_cast<HWND>(link.Window())), host_(host), port_(port) {}

  void SleepOneSecond() override { ::Sleep(1000); }
  std::unique_ptr<INoticeExchange> SendRequest(U16View formBody) override {
    return SendNoticeRequest(host_, port_, formBody);
  }
  U16 AnsiToWide(std::string_view ansi) override { return AnsiToWideText(ansi); }

  void DeliverUpdateAvailable() override { Send(kUpdateAvailable, 0); }
  NoticeDelivery SendNoticeText(const char16_t* text) override {
    return Send(kNoticeText, reinterpret_cast<LPARAM>(text));
  }

 private:
  // Sends WM_SERVICE_NOTICE unless the window is gone, waiting at most kNoticeSendTimeoutMs, so
  // a window that stops answering cannot hold the thread forever. No SMTO_ABORTIFHUNG: with it, a
  // window that has not read its queue for five seconds is judged hung and the call returns at
  // once without queueing the message (Wine's server refuses it the same way), so a window busy
  // for a moment would lose the notice; without it the message waits its turn for the whole
  // timeout.
  NoticeDelivery Send(int32_t kind, LPARAM param) {
    if (link_.WindowGone() || !::IsWindow(window_)) return NoticeDelivery::Handled;
    DWORD_PTR result = 0;
    ::SetLastError(0);
    if (::SendMessageTimeoutW(window_, WM_SERVICE_NOTICE, static_cast<WPARAM>(kind), param,
                              SMTO_NORMAL, kNoticeSendTimeoutMs, &result))
      return NoticeDelivery::Handled;
    // A window that is gone cannot read the message any more; otherwise it may, later.
    return ::GetLastError() == ERROR_INVALID_WINDOW_HANDLE ? NoticeDelivery::Handled
                                                           : NoticeDelivery::MayBeLater;
  }

  const NoticeLink& link_;
  HWND window_;
  const wchar_t* host_;
  INTERNET_PORT port_;
};

}  // namespace

std::unique_ptr<INoticeEnvironment> MakeWinNoticeEnvironment(const NoticeLink& link,
                                                             const wchar_t* host,
                                                             INTERNET_PORT port) {
  return std::make_unique<WinNoticeEnvironment>(link, host, port);
}

DWORD WINAPI NoticeCheckThreadProc(LPVOID param) {
  std::unique_ptr<NoticeThreadStart> start(static_cast<NoticeThreadStart*>(param));
  if (!start || !start->link) return 0;
  try {
    const U16 formBody = BuildNoticeFormBody(start->softtype, start->versionText);
    WinNoticeEnvironment env(*start->link, start->host.c_str(), start->port);
    RunNoticeCheck(formBody, *start->link, env, g_exitRequested);
  } catch (...) {
    // Only running out of memory can throw here; the check then simply ends.
  }
  return 0;
}

std::shared_ptr<NoticeLink> StartNoticeCheckAt(HWND mainWindow, int32_t lastNoticeId,
                                               int32_t softtype, U16View versionText,
                                               const wchar_t* host, INTERNET_PORT port) {
  auto link = std::make_shared<NoticeLink>(mainWindow, lastNoticeId);
  auto start = std::make_unique<NoticeThreadStart>();
  start->link = link;
  start->host = host ? host : L"";
  start->port = port;
  start->softtype = softtype;
  start->versionText = U16(versionText);
  UniqueKernelHandle thread(
      ::CreateThread(nullptr, 0, NoticeCheckThreadProc, start.get(), 0, nullptr));
  if (thread) start.release();  // the thread owns it now
  return link;                  // the thread handle is closed here: nobody waits for it
}

std::shared_ptr<NoticeLink> StartNoticeCheck(HWND mainWindow, int32_t lastNoticeId,
                                             int32_t softtype, U16View versionText) {
  return StartNoticeCheckAt(mainWindow, lastNoticeId, softtype, versionText,
                            SITEMON_WIDEN(SITEMON_NOTICE_HOST), SITEMON_NOTICE_PORT);
}

void MarkNoticeWindowGone(const std::shared_ptr<NoticeLink>& link) {
  if (link) link->MarkWindowGone();
}

LRESULT HandleServiceNoticeMessage(NoticeLink* link, WPARAM wParam, LPARAM lParam,
                                   bool& updateShown, U16View appTitle, IReportOutlets& outlets) {
  const auto kind = static_cast<int32_t>(wParam);
  const char16_t* text = kind == kNoticeText ? reinterpret_cast<const char16_t*>(lParam) : nullptr;
  ReceiveServiceNotice(link, kind, text, updateShown, appTitle, outlets);
  return 0;
}
