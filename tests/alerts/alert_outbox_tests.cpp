// The outbox on a fake clock: storms, rate limits, retries, the offline hold, giving up, the
// bounded queues and the pending file across a restart.
#include <gtest/gtest.h>

#include <set>

#include "tests/alerts/alert_fakes.h"
#include "alerts/alert_outbox.h"
#include "store/posix_files.h"
#include "tests/support/test_files.h"

namespace {

using fake::Down;

constexpr int64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute;

struct Bench {
  fake::Clock clock;
  fake::Receiver receiver;
  AlertOutbox outbox{clock, "OFFICE-PC"};
  explicit Bench(std::vector<std::string> names = {"a", "b", "c"}) {
    std::vector<AlertChannel> channels;
    for (const std::string& name : names) channels.push_back(fake::Channel(name));
    outbox.SetChannels(channels);
  }
  void At(int64_t ms) { fake::Pump(outbox, clock, receiver, ms); }
  void Add(const std::string& address) { outbox.Add({Down(address, clock.UnixSeconds())}); }
};

// The addresses of the alerts a channel got, in delivery order.
std::vector<std::string> AddressesDelivered(const fake::Receiver& receiver, const std::string& channel) {
  std::vector<std::string> addresses;
  for (const fake::Delivery& d : receiver.For(channel)) {
    for (size_t at = d.message.text.find("http://"); at != std::string::npos; at = d.message.text.find("http://", at + 1))
      addresses.push_back(d.message.text.substr(at, d.message.text.find_first_of(" \n", at) - at));
  }
  return addresses;
}

std::vector<std::string> Numbered(int from, int to) {
  std::vector<std::string> list;
  for (int i = from; i <= to; ++i) list.push_back("http://s" + std::to_string(i) + "/");
  return list;
}

TEST(AlertOutbox, FortySitesFailingTogetherMakeAtMostTwoMessagesPerChannel) {
  Bench b;
  // The router fails: the workers' failure rows come over eight seconds.
  for (int i = 1; i <= 40; ++i) {
    b.At(b.clock.ms + 200);
    b.Add("http://s" + std::to_string(i) + "/");
  }
  b.At(b.clock.ms + kMinute);
  for (const char* channel : {"a", "b", "c"}) {
    const size_t messages = b.receiver.For(channel).size();
    EXPECT_GE(messages, 1u);
    EXPECT_LE(messages, 2u) << channel;
    EXPECT_EQ(AddressesDelivered(b.receiver, channel), Numbered(1, 40)) << channel;
  }
}

TEST(AlertOutbox, AReceiverDownThenUpGetsEachAlertOnceInOrderWhileTheOthersGoOn) {
  Bench b({"a", "b"});
  const int64_t upAt = b.clock.ms + 20 * kMinute;
  b.receiver.answer["a"] = [upAt](int64_t at) {
    return at < upAt ? SendOutcome{false, true, "HTTP 502"} : SendOutcome{true, true, "已发送"};
  };
  for (int i = 1; i <= 12; ++i) {
    b.Add("http://s" + std::to_string(i) + "/");
    b.At(b.clock.ms + 2 * kMinute);
  }
  b.At(b.clock.ms + kHour);
  EXPECT_EQ(AddressesDelivered(b.receiver, "a"), Numbered(1, 12));
  EXPECT_EQ(AddressesDelivered(b.receiver, "b"), Numbered(1, 12));
  EXPECT_EQ(b.receiver.For("b").size(), 12u);  // not held up by a
  EXPECT_TRUE(b.outbox.TakeRows().empty());
  // a's retries came with growing gaps, and what came meanwhile was merged, not stacked up.
  std::vector<int64_t> gaps;
  int64_t last = -1;
  for (const fake::Delivery& attempt : b.receiver.attempts) {
    if (attempt.channel != "a") continue;
    if (last >= 0 && attempt.atMs < upAt) gaps.push_back(attempt.atMs - last);
    last = attempt.atMs;
  }
  ASSERT_GE(gaps.size(), 4u);
  EXPECT_TRUE(std::is_sorted(gaps.begin(), gaps.end()));
  EXPECT_GT(gaps.back(), gaps.front());
  EXPECT_LE(b.receiver.For("a").size(), 4u);
}

TEST(AlertOutbox, NoChannelGetsMoreMessagesAMinuteThanItsLimitAndNothingIsLost) {
  Bench b({"a"});
  // A flapping site: an alert every five and a half seconds, each a storm of its own.
  for (int i = 1; i <= 60; ++i) {
    b.Add("http://s" + std::to_string(i) + "/");
    b.At(b.clock.ms + 5500);
  }
  b.At(b.clock.ms + 10 * kMinute);
  const auto& attempts = b.receiver.attempts;
  for (size_t i = 0; i < attempts.size(); ++i) {
    size_t inMinute = 0;
    for (size_t j = i; j < attempts.size() && attempts[j].atMs < attempts[i].atMs + kMinute; ++j) ++inMinute;
    EXPECT_LE(inMinute, 10u) << "from the send at " << attempts[i].atMs;
  }
  EXPECT_EQ(AddressesDelivered(b.receiver, "a"), Numbered(1, 60));
}

TEST(AlertOutbox, NothingGoesWhileOfflineAndWhatWaitedGoesOnceBack) {
  Bench b({"a"});
  bool networkUp = false;
  int failuresOnceBack = 1;  // the first send after the network is back fails too
  b.receiver.answer["a"] = [&](int64_t) {
    if (networkUp && failuresOnceBack-- <= 0) return SendOutcome{true, true, "已发送"};
    return SendOutcome{false, true, "无法连接"};
  };
  b.Add("http://s1/");  // a failure row just before this machine's network went
  b.At(b.clock.ms + 20 * kSecond);
  const size_t triedBefore = b.receiver.attempts.size();
  EXPECT_GE(triedBefore, 1u);
  b.outbox.SetNetworkDown(true);
  b.At(b.clock.ms + 2 * kHour);  // offline far longer than a message's hour: it does not count
  EXPECT_EQ(b.receiver.attempts.size(), triedBefore);
  networkUp = true;
  const int64_t back = b.clock.ms;
  b.outbox.SetNetworkDown(false);
  b.outbox.Add({Down("http://s2/")});
  b.At(b.clock.ms + kMinute);
  ASSERT_GT(b.receiver.attempts.size(), triedBefore);
  EXPECT_EQ(b.receiver.attempts[triedBefore].atMs, back);  // at once
  EXPECT_EQ(AddressesDelivered(b.receiver, "a"), Numbered(1, 2));
  EXPECT_TRUE(b.outbox.TakeRows().empty());
}

TEST(AlertOutbox, AMessageFailingForAnHourIsGivenUpWithOneRowPerChannelAnHour) {
  Bench b({"a", "b"});
  b.receiver.answer["a"] = [](int64_t) { return SendOutcome{false, true, "HTTP 502"}; };
  b.receiver.answer["b"] = [](int64_t) { return SendOutcome{false, false, "errcode 93000: invalid webhook url"}; };
  const int64_t start = b.clock.ms;
  b.Add("http://s1/");
  b.At(start + 30 * kMinute);
  EXPECT_EQ(b.outbox.TakeRows(), std::vector<U16>{u"告警发送失败：b errcode 93000: invalid webhook url"});
  b.Add("http://s2/");  // b refuses it too, but said so already this hour
  b.At(start + 2 * kHour);
  EXPECT_EQ(b.outbox.TakeRows(), std::vector<U16>{u"告警发送失败：a HTTP 502"});
  int64_t lastTry = 0;
  for (const fake::Delivery& attempt : b.receiver.attempts)
    if (attempt.channel == "a" && attempt.message.text.find("s1") != std::string::npos) lastTry = attempt.atMs;
  EXPECT_GE(lastTry, start + kHour);
  EXPECT_LT(lastTry, start + kHour + 15 * kMinute);
  EXPECT_EQ(b.receiver.attempts.size() - 2, static_cast<size_t>(std::count_if(
      b.receiver.attempts.begin(), b.receiver.attempts.end(), [](const fake::Delivery& d) { return d.channel == "a"; })));
  EXPECT_EQ(b.outbox.QueuedFor("a"), 0u);
}

TEST(AlertOutbox, AChannelThatCannotSendKeepsABoundedQueue) {
  Bench b({"a"});
  b.receiver.answer["a"] = [](int64_t) { return SendOutcome{false, true, "超时"}; };
  for (int i = 0; i < 1200; ++i) {
    b.Add("http://s" + std::to_string(i % 300) + "/");
    b.At(b.clock.ms + 6 * kSecond);
  }
  size_t listed = 0;
  for (const PendingMessage& m : b.outbox.Undelivered()) listed += m.events.size();
  EXPECT_LE(b.outbox.QueuedFor("a"), 8u);
  EXPECT_LE(listed, 800u);
}

TEST(AlertOutbox, WhatIsLeftAtExitGoesAtTheNextStartIfUnderAnHourOld) {
  sitemon_test::TempFolder folder;
  ASSERT_TRUE(folder.ok());
  PosixStoreFiles files;
  const U16 path = folder.File16("alerts-pending.json");
  {
    Bench b({"a", "gone"});
    b.receiver.answer["a"] = [](int64_t) { return SendOutcome{false, true, "超时"}; };
    b.receiver.answer["gone"] = b.receiver.answer["a"];
    b.Add("http://old/");
    b.At(b.clock.ms + 30 * kMinute);
    b.Add("http://s1/");
    b.At(b.clock.ms + 29 * kMinute);
    b.Add("http://s2/");  // still in its storm at exit
    ASSERT_TRUE(KeepPendingAlertsFile(files, path, b.outbox.Undelivered()));
  }
  // The next start, two minutes later: the first message has passed its hour.
  Bench next({"a", "new"});
  next.clock.unixBase += 61 * 60;
  next.outbox.Restore(TakePendingAlertsFile(files, path));
  EXPECT_EQ(sitemon_test::ReadBytes(folder.File("alerts-pending.json")), "<missing>");
  next.Add("http://s3/");
  next.At(next.clock.ms + kMinute);
  EXPECT_EQ(AddressesDelivered(next.receiver, "a"), (std::vector<std::string>{"http://s1/", "http://s2/", "http://s3/"}));
  EXPECT_NE(next.receiver.For("a").front().message.text.find("（上次运行时未能送出"), std::string::npos);
  EXPECT_EQ(next.receiver.For("a").back().message.text.find("上次运行"), std::string::npos);
  EXPECT_EQ(AddressesDelivered(next.receiver, "new"), std::vector<std::string>{"http://s3/"});

  // Damaged files give what is whole in them and never fail.
  EXPECT_TRUE(ParsePendingAlerts("{\"version\":1,\"messages\":[{\"channel\":").empty());
  EXPECT_TRUE(ParsePendingAlerts("[1,2,3]").empty());
  const std::string whole = SerialisePendingAlerts({{"a", 5, 0, {Down("http://x/")}}, {"b", 6, 0, {Down("http://y/")}}});
  std::string damaged = whole;
  damaged.replace(damaged.rfind("\"down\""), 6, "\"odd\"");  // the second message's alert
  const std::vector<PendingMessage> read = ParsePendingAlerts(damaged);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].events[0].address, "http://x/");
  EXPECT_EQ(read[0].queuedUnix, 5);
}

}  // namespace
