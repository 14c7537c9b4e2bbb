#pragma once
// One POST of JSON by WinINet, with a time limit and a cancel flag. An https:// address has its
// certificate checked as the HTTPS probe checks a site's (WinINet's own checks, none relaxed): a
// bad chain, date or name is no answer. Redirects are not followed.
#include <windows.h>

#include <atomic>
#include <string>

struct HttpPostAnswer {
  enum class Outcome { Answered, Failed, TimedOut, Cancelled };
  Outcome outcome = Outcome::Failed;
  int status = 0;     // Answered: the HTTP status
  std::string body;   // Answered: at most the first 64 KB
  DWORD error = 0;    // Failed: the WinINet or system error
};

// Waits at most timeLimitMs, and returns soon after cancel is raised; the exchange then goes on
// alone on a pool thread until WinINet's own time limits (the same) end it.
HttpPostAnswer PostJson(const std::string& urlUtf8, const std::string& body, DWORD timeLimitMs,
                        const std::atomic<bool>& cancel);

// A failed exchange in plain words, and whether trying again later may help.
std::string DescribeInternetError(DWORD error, bool& worthRetrying);
