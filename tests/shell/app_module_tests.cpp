// The application module's loop registry: per-thread registration under the module's lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "shell/app_module.h"

namespace {

struct FakeLoop {
  int id = 0;
};

thread_local uint32_t t_threadId = 1;
uint32_t CurrentFakeThread() { return t_threadId; }

using Module = CAppModuleT<FakeLoop>;

TEST(AppModuleTest, NothingRegistersBeforeInitializeOrAfterTerminate) {
  Module module(CurrentFakeThread);
  FakeLoop loop;
  t_threadId = 1;
  EXPECT_FALSE(module.RegisterLoop(&loop));
  EXPECT_EQ(module.FindLoop(), nullptr);

  t_threadId = 42;
  ASSERT_TRUE(module.Initialize());
  EXPECT_EQ(module.MainThreadId(), 42u);
  EXPECT_TRUE(module.RegisterLoop(&loop));
  EXPECT_EQ(module.FindLoop(), &loop);

  module.Terminate();
  EXPECT_EQ(module.FindLoop(), nullptr);
  EXPECT_FALSE(module.RegisterLoop(&loop));
  EXPECT_FALSE(module.UnregisterLoop());
}

TEST(AppModuleTest, EachThreadFindsOnlyItsOwnLoop) {
  Module module(CurrentFakeThread);
  t_threadId = 7;
  module.Initialize();
  FakeLoop mainLoop{1}, otherLoop{2};
  EXPECT_TRUE(module.RegisterLoop(&mainLoop));
  EXPECT_FALSE(module.RegisterLoop(&otherLoop));  // one loop per thread: the first stays
  EXPECT_EQ(module.FindLoop(), &mainLoop);
  EXPECT_FALSE(module.RegisterLoop(nullptr));

  t_threadId = 8;
  EXPECT_EQ(module.FindLoop(), nullptr);
  EXPECT_FALSE(module.UnregisterLoop());  // thread 8 has none: thread 7's stays
  EXPECT_TRUE(module.RegisterLoop(&otherLoop));
  EXPECT_EQ(module.FindLoop(), &otherLoop);

  t_threadId = 7;
  EXPECT_TRUE(module.UnregisterLoop());
  EXPECT_EQ(module.FindLoop(), nullptr);
  EXPECT_FALSE(module.UnregisterLoop());
  t_threadId = 8;
  EXPECT_EQ(module.FindLoop(), &otherLoop);
  EXPECT_EQ(module.LoopCount(), 1u);
}

TEST(AppModuleTest, ConcurrentThreadsRegisterFindAndUnregisterSafely) {
  Module module(CurrentFakeThread);
  t_threadId = 1;
  module.Initialize();
  constexpr int kThreads = 8;
  constexpr int kRounds = 500;
  std::vector<FakeLoop> loops(kThreads);
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      t_threadId = static_cast<uint32_t>(100 + t);
      for (int r = 0; r < kRounds; ++r) {
        if (!module.RegisterLoop(&loops[t])) ++faults;
        if (module.FindLoop() != &loops[t]) ++faults;
        if (!module.UnregisterLoop()) ++faults;
        if (module.FindLoop() != nullptr) ++faults;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(module.LoopCount(), 0u);
}

}  // namespace
