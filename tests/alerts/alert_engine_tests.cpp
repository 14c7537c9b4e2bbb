// The engine's sender thread: reports in, messages out, and a receiver that never answers holds
// neither a report nor the exit.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "alerts/alert_engine.h"

namespace {

using namespace std::chrono;

constexpr auto kDeadline = seconds(20);  // generous: a busy machine

class TestSender final : public IChannelSender {
 public:
  enum Mode { Deliver, Refuse, HangUntilCancelled, HangForever };
  explicit TestSender(Mode mode) : mode_(mode) {}

  SendOutcome Send(const AlertChannel& channel, const AlertMessage& message, const std::atomic<bool>& cancel) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++started_;
    changed_.notify_all();
    if (mode_ == HangUntilCancelled)
      while (!cancel.load()) changed_.wait_for(lock, milliseconds(5));
    if (mode_ == HangForever) changed_.wait(lock, [this] { return released_; });
    texts_.push_back(channel.name + ": " + message.text);
    ++returned_;
    changed_.notify_all();
    if (mode_ == Deliver) return {true, true, "已发送"};
    return {false, mode_ != Refuse, mode_ == Refuse ? "HTTP 403" : "已取消"};
  }
  bool WaitFor(int started) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kDeadline, [&] { return started_ >= started; });
  }
  void ReleaseAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, kDeadline, [&] { return returned_ == started_; });
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  const Mode mode_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int started_ = 0, returned_ = 0;
  bool released_ = false;
  std::vector<std::string> texts_;
};

struct Rig {
  std::shared_ptr<TestSender> sender;
  std::atomic<int> rowNotices{0};
  std::unique_ptr<AlertEngine> engine;

  explicit Rig(TestSender::Mode mode) : sender(std::make_shared<TestSender>(mode)) {
    AlertEngineSetup setup;
    setup.sender = sender;
    setup.machine = "PC";
    setup.limits.stormQuietMs = 50;
    setup.limits.stormLongestMs = 200;
    engine = std::make_unique<AlertEngine>(std::move(setup));
    AlertChannel channel;
    channel.name = "运维群";
    EXPECT_TRUE(engine->Start({channel}, {}, [this] { ++rowNotices; }));
  }
  void SiteFails(uint64_t site, const char16_t* url) { engine->OnReportHandled({site, url, 404, {2026, 12, 8, 2, 0, 13}}); }
};

TEST(AlertEngine, AFailingSiteReachesTheChannelFromTheSenderThread) {
  Rig rig(TestSender::Deliver);
  rig.SiteFails(1, u"http://a.example/");
  ASSERT_TRUE(rig.sender->WaitFor(1));
  rig.engine->Shutdown();
  const std::vector<std::string> texts = rig.sender->Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("运维群: Corvell网站监控 PC\n站点故障：http://a.example/\n", 0), 0u);
}

TEST(AlertEngine, AGiveUpRowIsAnnouncedFromTheSenderAndTakenOnTheMainThread) {
  Rig rig(TestSender::Refuse);
  rig.SiteFails(1, u"http://a.example/");
  const auto until = steady_clock::now() + kDeadline;
  while (rig.rowNotices.load() == 0 && steady_clock::now() < until) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(rig.engine->TakeRows(), std::vector<U16>{u"告警发送失败：运维群 HTTP 403"});
  EXPECT_TRUE(rig.engine->Shutdown().empty());
}

TEST(AlertEngine, AReceiverThatNeverAnswersHoldsNeitherTheReportsNorTheExit) {
  for (TestSender::Mode mode : {TestSender::HangUntilCancelled, TestSender::HangForever}) {
    Rig rig(mode);
    rig.SiteFails(1, u"http://a.example/");
    ASSERT_TRUE(rig.sender->WaitFor(1));  // the send hangs now
    // Reports go on being handled at once while the sender is stuck.
    const auto before = steady_clock::now();
    for (uint64_t site = 2; site <= 200; ++site) rig.SiteFails(site, u"http://b.example/");
    EXPECT_LT(steady_clock::now() - before, seconds(2));

    const auto exitStarted = steady_clock::now();
    const std::vector<PendingMessage> left = rig.engine->Shutdown(300, 300);
    EXPECT_LT(steady_clock::now() - exitStarted, seconds(3)) << "mode " << mode;
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.front().channel, "运维群");
    EXPECT_EQ(left.front().events.front().address, "http://a.example/");  // the one in flight
    rig.engine.reset();
    rig.sender->ReleaseAndWait();  // a stuck send that returns later finds the state still there
  }
}

}  // namespace
