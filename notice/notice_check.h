#pragma once
// The notice and update check: now and then the maker's notice service is asked whether there
// is a notice for the users or a newer version. Platform work (HTTP, code page, sleeping, the
// two window messages) goes through INoticeEnvironment, so the schedule and the reply handling
// run on a fake clock in tests.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/utf16.h"
#include "notice/notice_link.h"

// One request's open connection, after the request was sent. Closes everything it holds when
// destroyed.
class INoticeExchange {
 public:
  virtual ~INoticeExchange() = default;
  // The HTTP status code; 0 when none could be read.
  virtual int32_t StatusCode() = 0;
  // Reads up to maxBytes of the body into `into`; the number read, 0 at the end or on failure.
  virtual int32_t ReadChunk(char* into, int32_t maxBytes) = 0;
};

// What a delivery of a notice text achieved.
enum class NoticeDelivery {
  Handled,      // the window handled the message (or it was refused): the text may be freed
  MayBeLater,   // the wait timed out: the window may be reading the text, or read it later
};

class INoticeEnvironment {
 public:
  virtual ~INoticeEnvironment() = default;
  virtual void SleepOneSecond() = 0;
  // Opens the connection and sends the form body (converted to the local ANSI code page).
  // Null when opening, connecting or sending failed; everything opened is closed then.
  virtual std::unique_ptr<INoticeExchange> SendRequest(U16View formBody) = 0;
  // Local ANSI code page to UTF-16.
  virtual U16 AnsiToWide(std::string_view ansi) = 0;
  // The two messages to the main window. Called only while the window is not marked gone.
  // Both are handled before the call returns (the update too, though it carries no data): a
  // posted update would be handled after the sent notice and its popup would replace the
  // notice, which is never shown again; handled in this order, the notice stays on screen.
  virtual void DeliverUpdateAvailable() = 0;
  virtual NoticeDelivery SendNoticeText(const char16_t* text) = 0;
};

// The thread's own state.
struct NoticeCheckState {
  int32_t answeredRequests = 0;  // requests answered; lifted to at least 3 once understood
};

constexpr int32_t kNoticeFirstCountdown = 10;
constexpr int32_t kShortPauseSeconds = 600;    // until a reply has been understood
constexpr int32_t kLongPauseSeconds = 18000;   // afterwards
constexpr int32_t kMaxReplyBytes = 1 << 20;    // a longer reply is not read further
constexpr int32_t kReplyChunkBytes = 512;
constexpr int32_t kMinShownNoticeLength = 6;   // a notice text must be longer than 5 characters

// Whether the window shows this notice text: longer than 5 characters up to its first zero.
inline bool IsShownNoticeText(const char16_t* text) {
  return text && U16View(text).size() >= static_cast<size_t>(kMinShownNoticeLength);
}

// The pause before the next request, chosen at the start of a request.
int32_t ChooseNoticePause(int32_t answeredRequests);

// "softtype=<softtype>&ver=<version>", built once when the thread starts.
U16 BuildNoticeFormBody(int32_t softtype, U16View versionText);

// What one request came to (for tests and traces).
enum class NoticeRequestOutcome {
  NotSent,         // opening, connecting or sending failed
  BadStatus,       // answered with a status outside 200-206
  NotUnderstood,   // the body was not JSON, too long, or could not be stored
  Unusable,        // JSON, but a member of an unexpected kind: nothing shown
  Understood,
};

// One request: choose the pause, ask, read and act on the reply. Returns the pause chosen.
int32_t PerformNoticeRequest(NoticeCheckState& state, U16View formBody, NoticeLink& link,
                             INoticeEnvironment& env, NoticeRequestOutcome* outcome = nullptr);

// The thread's whole life: count down from 10, request, wait the chosen pause, again; ends after
// the pass in which exitFlag is seen raised (at once if it is raised already). A request in
// progress is completed first.
void RunNoticeCheck(U16View formBody, NoticeLink& link, INoticeEnvironment& env,
                    const std::atomic<int32_t>& exitFlag);
