// The words of the alerts and the webhook's fields.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "alerts/alert_text.h"

namespace {

AlertEvent Event(AlertKind kind, const char* address, const char* status, int64_t secondsDown = 0) {
  AlertEvent e;
  e.kind = kind;
  e.address = address;
  e.status = status;
  e.time = {2026, 12, 8, 2, 10, 13};
  e.unixTime = 1796667013;  // 2026-12-07T18:10:13Z: 02:10:13 in UTC+8
  e.secondsDown = secondsDown;
  e.since = {2026, 12, 8, 1, 8, 8};  // secondsDown before `time` for an Up of 3725 s
  return e;
}

TEST(AlertText, AddressShowsWithoutUserNameOrPasswordAndLongOnesAreCut) {
  EXPECT_EQ(ShownAddress(u"http://user:pw@host.example:8080/a@b?c"), "http://host.example:8080/a@b?c");
  EXPECT_EQ(ShownAddress(u"https://a@b@host.example"), "https://host.example");
  EXPECT_EQ(ShownAddress(u"user:pw@host.example/x"), "host.example/x");
  EXPECT_EQ(ShownAddress(u"http://host.example/?mail=a@b"), "http://host.example/?mail=a@b");
  U16 longOne = u"http://h/" + U16(298, u'a') + u"😀";
  const std::string shown = ShownAddress(longOne);
  EXPECT_EQ(shown, "http://h/" + std::string(291, 'a') + "…");
}

TEST(AlertText, OneAlertMessageNamesProgramMachineSiteStatusTimeAndLength) {
  const AlertMessage up = ComposeAlertMessage("OFFICE-PC", {Event(AlertKind::Up, "http://a.example/", "访问正常", 3725)});
  EXPECT_EQ(up.text,
            "Corvell网站监控 OFFICE-PC\n站点恢复：http://a.example/\n状态：访问正常\n时间：2026-12-8 02:10:13\n"
            "故障时长：1小时2分5秒（自 2026-12-8 01:08:08 起）");
  EXPECT_EQ(up.subject, "Corvell网站监控 OFFICE-PC：站点恢复 http://a.example/");

  const nlohmann::json fields = nlohmann::json::parse(up.webhookFields);
  EXPECT_EQ(fields["event"], "up");
  EXPECT_EQ(fields["address"], "http://a.example/");
  EXPECT_EQ(fields["status"], "访问正常");
  EXPECT_EQ(fields["time"], "2026-12-08T02:10:13+08:00");
  EXPECT_EQ(fields["since"], "2026-12-08T01:08:08+08:00");
  EXPECT_EQ(fields["seconds_down"], 3725);
  EXPECT_EQ(fields["machine"], "OFFICE-PC");
  EXPECT_EQ(fields["program"], "Corvell网站监控");
  EXPECT_FALSE(fields.contains("text"));  // the channel adds it
}

TEST(AlertText, AStormIsOneMessageListingEveryAlert) {
  std::vector<AlertEvent> storm;
  AlertEvent back = Event(AlertKind::NetworkBack, "", "本机网络恢复正常", 300);
  back.earlierRun = true;
  storm.push_back(back);
  for (int i = 1; i <= 40; ++i)
    storm.push_back(Event(AlertKind::Down, ("http://s" + std::to_string(i) + ".example/").c_str(), "网页不存在"));
  storm.push_back(Event(AlertKind::Up, "http://b.example/", "访问正常", 45));
  const AlertMessage m = ComposeAlertMessage("", storm, 2);
  EXPECT_EQ(m.subject, "Corvell网站监控：本机网络断线后已恢复，40个站点故障，1个站点恢复，另有2条告警");
  EXPECT_EQ(m.text.rfind("Corvell网站监控\n（上次运行时未能送出，时间为告警发生时）\n", 0), 0u);
  EXPECT_NE(m.text.find("\n[断网] 本机网络断线：2026-12-8 01:08:08 至 2026-12-8 02:10:13，共5分0秒\n"), std::string::npos);
  EXPECT_NE(m.text.find("\n[故障] 2026-12-8 02:10:13 http://s40.example/ 网页不存在\n"), std::string::npos);
  EXPECT_NE(m.text.find("\n[恢复] 2026-12-8 02:10:13 http://b.example/ 访问正常，故障时长45秒\n……另有2条告警未列出"),
            std::string::npos);
  const nlohmann::json fields = nlohmann::json::parse(m.webhookFields);
  EXPECT_EQ(fields["count"], 44);
  EXPECT_EQ(fields["alerts"].size(), 42u);
  EXPECT_EQ(fields["alerts"][41]["event"], "up");
  EXPECT_EQ(fields["earlier_run"], true);
}

TEST(AlertText, TimesAndLengths) {
  EXPECT_EQ(OutageLengthText(0), "0秒");
  EXPECT_EQ(OutageLengthText(60), "1分0秒");
  EXPECT_EQ(OutageLengthText(90061), "1天1小时1分1秒");
  // The offset comes from the two clocks read a moment apart, west of UTC too.
  EXPECT_EQ(IsoLocalTime({2026, 1, 1, 0, 0, 0}, 1767243600 + 1), "2026-01-01T00:00:00-05:00");
  EXPECT_EQ(IsoLocalTime({2026, 12, 8, 2, 10, 13}, 1796667013 - 2), "2026-12-08T02:10:13+08:00");
  const AlertMessage test = ComposeTestMessage("PC", {2026, 12, 8, 9, 5, 0}, 1796691900);
  EXPECT_EQ(test.text.rfind("Corvell网站监控 PC\n测试消息", 0), 0u);
  EXPECT_EQ(nlohmann::json::parse(test.webhookFields)["event"], "test");
}

}  // namespace
