// Sends one mail through SendMailOverSmtp, as the system scenario test_alert_smtp.py asks:
//   sitemon_smtp_send_tool <request file>
// The file is UTF-8, one "name value" a line: host, port, security (implicit | starttls),
// user, password, from, to (once per recipient), subject, body (once per body line), and
// cancel-after-ms (raise the cancel flag that long after the start). Prints "delivered 1|0" and
// "detail <text>" in UTF-8; exits 0 when the mail was delivered, 1 when not, 2 on bad use.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "alerts/smtp_send_win.h"
#include "base/utf16.h"
#include "base/wide_text_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  std::ifstream file(std::filesystem::path(argv[1]), std::ios::binary);
  if (!file) return 2;
  AlertChannel channel;
  channel.kind = ChannelKind::Email;
  AlertMessage message;
  int cancelAfterMs = -1;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (name == "host") channel.smtpHost = value;
    else if (name == "port") channel.smtpPort = std::stoi(value);
    else if (name == "security") channel.security = value == "starttls" ? MailSecurity::StartTls : MailSecurity::ImplicitTls;
    else if (name == "user") channel.smtpUser = value;
    else if (name == "password") channel.smtpPassword = value;
    else if (name == "from") channel.mailFrom = value;
    else if (name == "to") channel.mailTo.push_back(value);
    else if (name == "subject") message.subject = value;
    else if (name == "body") message.text += value + "\n";
    else if (name == "cancel-after-ms") cancelAfterMs = std::stoi(value);
  }
  std::atomic<bool> cancel{false};
  std::thread canceller;
  if (cancelAfterMs >= 0) {
    canceller = std::thread([&cancel, cancelAfterMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(cancelAfterMs));
      cancel = true;
    });
  }
  const SendOutcome outcome = SendMailOverSmtp(channel, message, cancel);
  if (canceller.joinable()) canceller.join();
  std::printf("delivered %d\ndetail %s\n", outcome.delivered ? 1 : 0, outcome.detail.c_str());
  std::fflush(stdout);
  return outcome.delivered ? 0 : 1;
}
