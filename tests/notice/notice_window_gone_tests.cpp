// A request still running while the main window is destroyed must not touch the window: here the
// "window" is data the fake environment writes to, destroyed while the reply is in flight; every
// message handed to it after that is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "notice/notice_check.h"

namespace {

using namespace std::chrono_literals;

struct WindowData {
  NoticeLink* link = nullptr;  // where the handler reports a shown notice
  std::atomic<bool> destroyed{false};
  int updates = 0;
  std::vector<U16> notices;
};

// Lets the test hold a reply until it has done what it wants to do meanwhile.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool requestStarted = false;
  bool released = false;
  bool threadEnded = false;

  void Set(bool Gate::*flag) {
    { std::lock_guard<std::mutex> lock(mutex); this->*flag = true; }
    changed.notify_all();
  }
  bool WaitFor(bool Gate::*flag, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, deadline, [&] { return this->*flag; });
  }
};

class HeldExchange : public INoticeExchange {
 public:
  explicit HeldExchange(Gate& gate) : gate_(gate) {}
  int32_t StatusCode() override { return 200; }
  int32_t ReadChunk(char* into, int32_t maxBytes) override {
    if (done_) return 0;
    gate_.Set(&Gate::requestStarted);
    gate_.WaitFor(&Gate::released, 10s);
    const std::string body = R"({"update":1,"notice_id":5,"notice_text":"a notice for a closed window"})";
    done_ = true;
    const size_t n = std::min(body.size(), static_cast<size_t>(maxBytes));
    body.copy(into, n);
    return static_cast<int32_t>(n);
  }

 private:
  Gate& gate_;
  bool done_ = false;
};

class WindowEnvironment : public INoticeEnvironment {
 public:
  WindowEnvironment(WindowData* window, Gate& gate, std::atomic<int>& lateDeliveries)
      : window_(window), gate_(gate), lateDeliveries_(lateDeliveries) {}
  void SleepOneSecond() override { std::this_thread::yield(); }
  std::unique_ptr<INoticeExchange> SendRequest(U16View) override {
    return std::make_unique<HeldExchange>(gate_);
  }
  U16 AnsiToWide(std::string_view ansi) override { return U16FromUtf8(ansi); }
  void DeliverUpdateAvailable() override {
    if (window_->destroyed) ++lateDeliveries_;
    ++window_->updates;
  }
  NoticeDelivery SendNoticeText(const char16_t* text) override {
    if (window_->destroyed) ++lateDeliveries_;
    window_->notices.emplace_back(text);
    window_->link->NoticeShown(text);
    return NoticeDelivery::Handled;
  }

 private:
  WindowData* window_;  // like an HWND: the environment does not own the window
  Gate& gate_;
  std::atomic<int>& lateDeliveries_;
};

struct Outcome {
  int lateDeliveries = 0;  // messages handed to the window after it was destroyed
  int updates = -1;
  size_t notices = 0;
  int32_t lastNoticeId = -1;
};

// Starts the check on its own thread, waits for the request to be in flight, optionally
// destroys the window, then lets the reply arrive.
Outcome RunWithWindow(bool destroyWhileInFlight) {
  Gate gate;
  std::atomic<int32_t> exitFlag{0};
  std::atomic<int> lateDeliveries{0};
  auto window = std::make_unique<WindowData>();
  auto link = std::make_shared<NoticeLink>(window.get(), 0);
  window->link = link.get();
  auto env = std::make_shared<WindowEnvironment>(window.get(), gate, lateDeliveries);
  std::thread thread([link, env, &gate, &exitFlag] {
    RunNoticeCheck(u"softtype=2&ver=1.1.0.0", *link, *env, exitFlag);
    gate.Set(&Gate::threadEnded);
  });
  std::weak_ptr<NoticeLink> watch = link;

  Outcome outcome;
  EXPECT_TRUE(gate.WaitFor(&Gate::requestStarted, 10s));
  if (destroyWhileInFlight) {
    // What the main window does when it is destroyed: mark the link, then go.
    link->MarkWindowGone();
    window->destroyed = true;
    link.reset();
    EXPECT_FALSE(watch.expired());  // the thread still holds the link
  }
  exitFlag = 1;
  gate.Set(&Gate::released);
  EXPECT_TRUE(gate.WaitFor(&Gate::threadEnded, 10s));
  thread.join();
  outcome.lateDeliveries = lateDeliveries.load();
  outcome.updates = window->updates;
  outcome.notices = window->notices.size();
  if (link) outcome.lastNoticeId = link->LastNoticeId();
  link.reset();
  env.reset();
  EXPECT_TRUE(watch.expired());  // the last owner freed it
  return outcome;
}

}  // namespace

TEST(NoticeWindowGone, ReplyForALiveWindowIsDelivered) {
  const Outcome o = RunWithWindow(false);
  EXPECT_EQ(o.updates, 1);
  EXPECT_EQ(o.notices, 1u);
  EXPECT_EQ(o.lastNoticeId, 5);
}

TEST(NoticeWindowGone, WindowDestroyedMidRequestIsNeverTouched) {
  const Outcome o = RunWithWindow(true);
  EXPECT_EQ(o.lateDeliveries, 0);
  EXPECT_EQ(o.updates, 0);
  EXPECT_EQ(o.notices, 0u);
}
