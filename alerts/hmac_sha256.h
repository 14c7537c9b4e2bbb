#pragma once
// HMAC-SHA256 as a seam: the robots' signatures are computed through it, by BCrypt in the
// program and by a recording fake in the tests.
#include <string>
#include <string_view>

class IHmacSha256 {
 public:
  virtual ~IHmacSha256() = default;
  // The 32-byte MAC of message under key; false when it cannot be computed.
  virtual bool Compute(std::string_view key, std::string_view message, std::string& mac) = 0;
};
