#pragma once
// HMAC-SHA256 by BCrypt.
#include "alerts/hmac_sha256.h"

class BCryptHmacSha256 : public IHmacSha256 {
 public:
  bool Compute(std::string_view key, std::string_view message, std::string& mac) override;
};
