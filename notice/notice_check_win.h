#pragma once
// The notice thread on Windows, and what the main window calls:
//
//   at initialisation:  link_ = StartNoticeCheck(m_hWnd, config.lastNoticeId, config.softtype,
//                                                versionText /* string 131 */);
//   WM_SERVICE_NOTICE:  return HandleServiceNoticeMessage(link_.get(), wParam, lParam,
//                                                         updateShown_, titleText, outlets);
//   at WM_DESTROY, first: MarkNoticeWindowGone(link_);
//   when saving:        config.lastNoticeId = link_ ? link_->LastNoticeId() : config.lastNoticeId;
//
// The thread's handle is closed at once; nobody waits for the thread. It ends within a second of
// g_exitRequested, after finishing a request in progress. A request that finishes after the
// window was marked gone posts and sends nothing.
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "notice/notice_check.h"
#include "notice/notice_link.h"
#include "monitor/report_outlets.h"

// Starts the notice thread for the service named by the build settings. Returns the link the
// window keeps for its whole life (never null).
std::shared_ptr<NoticeLink> StartNoticeCheck(HWND mainWindow, int32_t lastNoticeId,
                                             int32_t softtype, U16View versionText);
// The same against any host and port (tests use a loopback service).
std::shared_ptr<NoticeLink> StartNoticeCheckAt(HWND mainWindow, int32_t lastNoticeId,
                                               int32_t softtype, U16View versionText,
                                               const wchar_t* host, INTERNET_PORT port);

// Called by the main window's destruction before anything of the window goes away.
void MarkNoticeWindowGone(const std::shared_ptr<NoticeLink>& link);

// The main window's WM_SERVICE_NOTICE handler: shows the notice (kind 100) or, once per run,
// the update message (kind 120) through the outlets. Ignores the message once the window was
// marked gone. Returns 0.
LRESULT HandleServiceNoticeMessage(NoticeLink* link, WPARAM wParam, LPARAM lParam,
                                   bool& updateShown, U16View appTitle, IReportOutlets& outlets);

// The thread's platform work against host:port, delivering to the link's window (also used by
// tests to make single requests).
std::unique_ptr<INoticeEnvironment> MakeWinNoticeEnvironment(const NoticeLink& link,
                                                             const wchar_t* host,
                                                             INTERNET_PORT port);

// What the thread entry receives: owned by the thread from its first instruction.
struct NoticeThreadStart {
  std::shared_ptr<NoticeLink> link;
  std::wstring host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  int32_t softtype = 2;
  U16 versionText;
};

// The thread entry; param is a NoticeThreadStart created with new. Returns 0.
DWORD WINAPI NoticeCheckThreadProc(LPVOID param);

// How long a notice text may wait for the main window before the thread moves on (the text is
// then kept alive in the link, in case the window reads it later).
constexpr UINT kNoticeSendTimeoutMs = 30000;
