// The message loop over a simulated queue: idle phases, filter order, error and quit results.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "shell/message_loop.h"

namespace {

struct FakeMsg {
  uint32_t message = 0;
  uintptr_t wParam = 0;
};

constexpr uint32_t kQuit = 0x12;
constexpr int kGetError = -1;

// A simulated queue: `waiting` holds messages already queued (a peek sees them), `later` the
// ones that arrive while the loop waits in GetMessage. Running dry is a test fault: it answers
// with a quit carrying kRanDry so the loop ends and the test sees it.
constexpr uintptr_t kRanDry = 0xDEAD;
struct Entry {
  FakeMsg msg;
  bool error = false;
};

class FakeQueue : public MessageQueueT<FakeMsg> {
 public:
  explicit FakeQueue(std::vector<std::string>& log) : log_(log) {}
  void Later(uint32_t message, uintptr_t wParam = 0) { later.push_back({{message, wParam}, false}); }
  void LaterError() { later.push_back({{}, true}); }

  bool HasMessage() override { return !waiting.empty(); }
  int GetMessage(FakeMsg& msg) override {
    std::deque<Entry>& from = waiting.empty() ? later : waiting;
    if (from.empty()) {
      msg = {kQuit, kRanDry};
      return 0;
    }
    Entry e = from.front();
    from.pop_front();
    if (e.error) return kGetError;
    msg = e.msg;
    return msg.message == kQuit ? 0 : 1;
  }
  void TranslateAndDispatch(const FakeMsg& msg) override { log_.push_back("dispatch " + std::to_string(msg.message)); }

  std::deque<Entry> waiting;
  std::deque<Entry> later;

 private:
  std::vector<std::string>& log_;
};

class LoggingIdle : public CIdleHandler {
 public:
  LoggingIdle(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  bool HandleIdle() override {
    log_.push_back("idle " + name_);
    return true;  // the loop ignores this
  }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

class LoggingFilter : public CMessageFilterT<FakeMsg> {
 public:
  LoggingFilter(std::string name, std::vector<std::string>& log, uint32_t consumes = 0)
      : name_(std::move(name)), log_(log), consumes_(consumes) {}
  bool FilterMessage(FakeMsg* msg) override {
    log_.push_back("filter " + name_ + " " + std::to_string(msg->message));
    if (onFilter) onFilter();
    return msg->message == consumes_;
  }
  std::function<void()> onFilter;

 private:
  std::string name_;
  std::vector<std::string>& log_;
  uint32_t consumes_;
};

using Loop = CMessageLoopT<FakeMsg>;

class MessageLoopTest : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  FakeQueue queue{log};
  Loop loop{queue};
};

TEST_F(MessageLoopTest, ReturnsTheQuitCodeAndDispatchesInOrder) {
  queue.Later(0x100);
  queue.Later(0x111);
  queue.Later(kQuit, 2);
  EXPECT_EQ(loop.Run(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"dispatch 256", "dispatch 273"}));
  EXPECT_TRUE(queue.later.empty());
}

TEST_F(MessageLoopTest, QuitCodeZeroIsReturnedAsZero) {
  queue.Later(kQuit, 0);
  EXPECT_EQ(loop.Run(), 0);
}

TEST_F(MessageLoopTest, EachIdlePhaseCallsEveryHandlerOnceInOrder) {
  LoggingIdle a("a", log), b("b", log);
  loop.AddIdle(&a);
  loop.AddIdle(&b);
  queue.Later(0x100);  // a key message re-arms the idle phase
  queue.Later(kQuit, 7);
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_EQ(log, (std::vector<std::string>{"idle a", "idle b", "dispatch 256", "idle a", "idle b"}));
}

TEST_F(MessageLoopTest, NoIdlePhaseWhileMessagesAreWaiting) {
  LoggingIdle idle("i", log);
  loop.AddIdle(&idle);
  queue.waiting.push_back({{0x100, 0}, false});
  queue.waiting.push_back({{0x101, 0}, false});
  queue.Later(kQuit, 1);
  EXPECT_EQ(loop.Run(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"dispatch 256", "dispatch 257", "idle i"}));
}

TEST_F(MessageLoopTest, MouseMovesPaintsAndCaretTimerDoNotRearmIdle) {
  LoggingIdle idle("i", log);
  loop.AddIdle(&idle);
  for (uint32_t m : {0x200u, 0xA0u, 0x0Fu, 0x118u, 0x101u, 0x200u}) queue.Later(m);
  queue.Later(kQuit, 3);
  EXPECT_EQ(loop.Run(), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"idle i", "dispatch 512", "dispatch 160", "dispatch 15", "dispatch 280",
                                           "dispatch 257", "idle i", "dispatch 512"}));
}

TEST_F(MessageLoopTest, NewestFilterSeesFirstAndConsumedMessagesGoNoFurther) {
  LoggingFilter older("old", log, 0x100), newer("new", log, 0x101);
  loop.AddFilter(&older);
  loop.AddFilter(&newer);
  queue.Later(0x100);  // new declines, old consumes: not dispatched
  queue.Later(0x101);  // new consumes: old never sees it, not dispatched
  queue.Later(0x102);  // nobody consumes: dispatched
  queue.Later(kQuit, 1);
  EXPECT_EQ(loop.Run(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"filter new 256", "filter old 256", "filter new 257",
                                           "filter new 258", "filter old 258", "dispatch 258"}));
}

TEST_F(MessageLoopTest, AFailedTakeIsIgnoredAndChangesNothing) {
  LoggingIdle idle("i", log);
  loop.AddIdle(&idle);
  queue.Later(0x200);  // idle stays off after a mouse move ...
  queue.LaterError();  // ... and a failed take does not turn it back on
  queue.Later(0x201);
  queue.LaterError();
  queue.Later(kQuit, 5);
  EXPECT_EQ(loop.Run(), 5);
  EXPECT_EQ(log, (std::vector<std::string>{"idle i", "dispatch 512", "dispatch 513", "idle i"}));
}

TEST_F(MessageLoopTest, DoIdleCountRisesWhileTheHandlersAskForMore) {
  struct CountingLoop : Loop {
    using Loop::Loop;
    std::vector<int> counts;
    FakeQueue* q = nullptr;
    bool DoIdle(int count) override {
      counts.push_back(count);
      if (count == 2) q->waiting.push_back({{kQuit, 9}, false});
      return true;  // keep idling until a message arrives
    }
  } counting(queue);
  counting.q = &queue;
  EXPECT_EQ(counting.Run(), 9);
  EXPECT_EQ(counting.counts, (std::vector<int>{0, 1, 2}));
}

TEST_F(MessageLoopTest, RemoveDeletesTheFirstEqualEntryAndKeepsTheOrder) {
  LoggingFilter a("a", log), b("b", log);
  loop.AddFilter(&a);
  loop.AddFilter(&b);
  loop.AddFilter(&a);
  EXPECT_TRUE(loop.RemoveFilter(&a));  // the first a goes: order is now b, a
  EXPECT_EQ(loop.FilterCount(), 2u);
  FakeMsg m{0x300, 0};
  loop.FilterMessage(&m);
  EXPECT_EQ(log, (std::vector<std::string>{"filter a 768", "filter b 768"}));  // newest (a) first
  EXPECT_TRUE(loop.RemoveFilter(&a));
  EXPECT_FALSE(loop.RemoveFilter(&a));  // not there any more: nothing changes
  EXPECT_EQ(loop.FilterCount(), 1u);

  LoggingIdle i("i", log);
  EXPECT_FALSE(loop.RemoveIdle(&i));
  loop.AddIdle(&i);
  EXPECT_TRUE(loop.RemoveIdle(&i));
  EXPECT_EQ(loop.IdleCount(), 0u);
}

TEST_F(MessageLoopTest, EmptyEntriesAreSkipped) {
  LoggingFilter a("a", log);
  loop.AddFilter(&a);
  loop.AddFilter(nullptr);
  loop.AddIdle(nullptr);
  FakeMsg m{0x300, 0};
  EXPECT_FALSE(loop.FilterMessage(&m));
  EXPECT_FALSE(loop.DoIdle(0));
  EXPECT_EQ(log, (std::vector<std::string>{"filter a 768"}));
}

TEST_F(MessageLoopTest, AFilterMayRemoveFiltersWhileTheyAreWalked) {
  // The newest filter removes itself and the older one (as a window does when it is destroyed
  // inside its own filter call); the walk must stop safely.
  LoggingFilter older("old", log), newer("new", log);
  loop.AddFilter(&older);
  loop.AddFilter(&newer);
  newer.onFilter = [&] {
    loop.RemoveFilter(&newer);
    loop.RemoveFilter(&older);
  };
  queue.Later(0x100);
  queue.Later(kQuit, 0);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"filter new 256", "dispatch 256"}));
  EXPECT_EQ(loop.FilterCount(), 0u);
}

}  // namespace
