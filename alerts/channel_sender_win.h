#pragma once
// The sender the program uses: the robots and the webhook by WinINet (signatures by BCrypt),
// e-mail by the SMTP client. Every outcome's text is free of the channel's secrets.
#include <windows.h>

#include "alerts/channel_sender.h"

class WinChannelSender : public IChannelSender {
 public:
  // How long one send may take, from the first byte to the answer.
  static constexpr DWORD kDefaultTimeLimitMs = 15000;

  explicit WinChannelSender(DWORD timeLimitMs = kDefaultTimeLimitMs) : timeLimitMs_(timeLimitMs) {}
  SendOutcome Send(const AlertChannel& channel, const AlertMessage& message,
                   const std::atomic<bool>& cancel) override;

 private:
  DWORD timeLimitMs_;
};
