#pragma once
// Sends one alert by e-mail over SMTP with TLS (from the first byte, or after STARTTLS) and
// tells what became of it: "已发送", the server's reply line, the certificate's problem or the
// connection's. Gives up within its time limits and soon after `cancel` is raised.
#include <atomic>

#include "alerts/alert_channel.h"

SendOutcome SendMailOverSmtp(const AlertChannel& channel, const AlertMessage& message,
                             const std::atomic<bool>& cancel);
