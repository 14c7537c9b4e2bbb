// Sends one fixed message to every enabled channel of an alerts.json, by the program's own file
// reading and senders, and prints what became of it, one "name value" line each:
//   load loaded|missing|damaged     aside <the damaged file's new name>
//   channel<N> delivered|failed <the outcome's text>
// Exit 0 when every enabled channel was delivered. tests/system/test_alert_channels.py runs it.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "alerts/alert_config_store_win.h"
#include "alerts/channel_sender_win.h"
#include "base/utf16.h"
#include "base/wide_text_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage sitemon_alert_send_tool <alerts.json>\n");
    return 2;
  }
  AlertConfig config;
  std::wstring aside;
  const AlertConfigLoad load = LoadAlertConfigFile(argv[1], config, &aside);
  std::printf("load %s\n", load == AlertConfigLoad::Loaded ? "loaded" : load == AlertConfigLoad::Missing ? "missing" : "damaged");
  if (!aside.empty()) std::printf("aside %s\n", Utf8FromU16(AsU16(aside.c_str())).c_str());

  AlertMessage message;
  message.subject = "Corvell网站监控 测试";
  message.text = "Corvell网站监控 WINE-PC\n这是一条测试消息";
  message.webhookFields = R"({"event":"test","machine":"WINE-PC"})";
  WinChannelSender sender;
  std::atomic<bool> cancel{false};
  bool all = true;
  for (size_t i = 0; i < config.channels.size(); ++i) {
    if (!config.channels[i].enabled) continue;
    const SendOutcome outcome = sender.Send(config.channels[i], message, cancel);
    all = all && outcome.delivered;
    std::printf("channel%zu %s %s\n", i, outcome.delivered ? "delivered" : "failed", outcome.detail.c_str());
  }
  std::fflush(stdout);
  return all && load != AlertConfigLoad::Damaged ? 0 : 1;
}
