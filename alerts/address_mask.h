#pragma once
// A webhook address as it may be shown: the robots' key or access token is part of the address,
// so no text the program writes (the run log, the dialog, the console, an outcome) shows it
// whole.
#include <string>
#include <string_view>

#include "alerts/alert_channel.h"

// The address with its user name and password and fragment left out, every query value and
// every long path segment (16 characters or more: 飞书's and Slack's tokens) masked, e.g.
// "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=693a****". No scheme: "****".
std::string MaskWebhookAddress(std::string_view url);

// The text with every secret of the channel (the robot secret, the SMTP password, the secret
// parts of its address) replaced by "****".
std::string WithoutSecrets(std::string text, const AlertChannel& channel);
