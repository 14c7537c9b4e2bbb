#include "alerts/http_post_win.h"

#include <wininet.h>

#include <memory>
#include <new>

#include "base/unique_handle_win.h"
#include "base/utf16.h"
#include "base/wide_text_win.h"

// Not named by every SDK's wininet.h.
#ifndef ERROR_INTERNET_SECURE_FAILURE
#define ERROR_INTERNET_SECURE_FAILURE 12175
#endif

namespace {
constexpr DWORD kMaxAnswerBytes = 64 * 1024;
constexpr DWORD kPollMs = 50;

// What the caller and the pool thread share; a shared_ptr keeps it for the later of the two.
struct Exchange {
  U16 url;
  std::string body;
  DWORD timeLimitMs = 0;
  std::atomic<bool> abandoned{false};
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE finished = CONDITION_VARIABLE_INIT;
  bool done = false;           // under lock
  HttpPostAnswer answer;       // written by the pool thread before done, read after
};

HttpPostAnswer Failed(DWORD error) {
  HttpPostAnswer answer;
  answer.outcome = HttpPostAnswer::Outcome::Failed;
  answer.error = error == 0 ? ERROR_INTERNET_INTERNAL_ERROR : error;
  return answer;
}

HttpPostAnswer Run(Exchange& exchange) {
  wchar_t host[256] = {}, user[256] = {}, password[256] = {}, path[2048] = {}, extra[4096] = {};
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = ARRAYSIZE(host);
  parts.lpszUserName = user;
  parts.dwUserNameLength = ARRAYSIZE(user);
  parts.lpszPassword = password;
  parts.dwPasswordLength = ARRAYSIZE(password);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = ARRAYSIZE(path);
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = ARRAYSIZE(extra);
  if (!::InternetCrackUrlW(AsWide(exchange.url.c_str()), 0, 0, &parts)) return Failed(ERROR_INTERNET_INVALID_URL);
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP) return Failed(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  // The fragment is no part of the request.
  std::wstring object = std::wstring(path[0] ? path : L"/") + extra;
  if (const size_t hash = object.find(L'#'); hash != std::wstring::npos) object.resize(hash);

  UniqueInternetHandle internet(
      ::InternetOpenW(L"CorvellSiteMonitor", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) return Failed(::GetLastError());
  DWORD timeout = exchange.timeLimitMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionW(internet.get(), option, &timeout, sizeof timeout);
  UniqueInternetHandle connection(::InternetConnectW(internet.get(), host, parts.nPort,
                                                     user[0] ? user : nullptr, password[0] ? password : nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0));
  ::SecureZeroMemory(password, sizeof password);
  if (!connection) return Failed(::GetLastError());
  LPCWSTR acceptTypes[] = {L"application/json", L"*/*", nullptr};
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT |
                      (secure ? INTERNET_FLAG_SECURE : 0);
  UniqueInternetHandle request(::HttpOpenRequestW(connection.get(), L"POST", object.c_str(), nullptr,
                                                  nullptr, acceptTypes, flags, 0));
  if (!request) return Failed(::GetLastError());
  static const wchar_t kHeaders[] = L"Content-Type: application/json; charset=utf-8\r\n";
  if (!::HttpSendRequestW(request.get(), kHeaders, static_cast<DWORD>(-1),
                          const_cast<char*>(exchange.body.data()), static_cast<DWORD>(exchange.body.size())))
    return Failed(::GetLastError());
  HttpPostAnswer answer;
  answer.outcome = HttpPostAnswer::Outcome::Answered;
  DWORD status = 0, size = sizeof status;
  if (::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    answer.status = static_cast<int>(status);
  // A server that drips its answer is read no longer than the caller waits.
  const ULONGLONG readUntil = ::GetTickCount64() + exchange.timeLimitMs;
  char chunk[4096];
  while (answer.body.size() < kMaxAnswerBytes && !exchange.abandoned.load(std::memory_order_relaxed) &&
         ::GetTickCount64() < readUntil) {
    DWORD got = 0;
    const DWORD room = kMaxAnswerBytes - static_cast<DWORD>(answer.body.size());
    if (!::InternetReadFile(request.get(), chunk, room < sizeof chunk ? room : sizeof chunk, &got) || got == 0)
      break;
    answer.body.append(chunk, got > sizeof chunk ? sizeof chunk : got);
  }
  return answer;
}

DWORD WINAPI RunOnPool(LPVOID parameter) {
  std::unique_ptr<std::shared_ptr<Exchange>> held(static_cast<std::shared_ptr<Exchange>*>(parameter));
  Exchange& exchange = **held;
  HttpPostAnswer answer = exchange.abandoned.load() ? HttpPostAnswer{} : Run(exchange);
  ::AcquireSRWLockExclusive(&exchange.lock);
  exchange.answer = std::move(answer);
  exchange.done = true;
  ::ReleaseSRWLockExclusive(&exchange.lock);
  ::WakeAllConditionVariable(&exchange.finished);
  return 0;
}

}  // namespace

HttpPostAnswer PostJson(const std::string& urlUtf8, const std::string& body, DWORD timeLimitMs,
                        const std::atomic<bool>& cancel) {
  auto exchange = std::make_shared<Exchange>();
  exchange->url = U16FromUtf8(urlUtf8);
  exchange->body = body;
  exchange->timeLimitMs = timeLimitMs;
  auto* handed = new (std::nothrow) std::shared_ptr<Exchange>(exchange);
  if (handed == nullptr) return Failed(ERROR_NOT_ENOUGH_MEMORY);
  if (!::QueueUserWorkItem(RunOnPool, handed, WT_EXECUTELONGFUNCTION)) {
    delete handed;
    return Failed(::GetLastError());
  }
  const ULONGLONG deadline = ::GetTickCount64() + timeLimitMs;
  HttpPostAnswer answer;
  ::AcquireSRWLockExclusive(&exchange->lock);
  while (!exchange->done) {
    const ULONGLONG now = ::GetTickCount64();
    if (cancel.load(std::memory_order_relaxed) || now >= deadline) {
      answer.outcome = cancel.load() ? HttpPostAnswer::Outcome::Cancelled : HttpPostAnswer::Outcome::TimedOut;
      exchange->abandoned = true;
      break;
    }
    const ULONGLONG left = deadline - now;
    ::SleepConditionVariableSRW(&exchange->finished, &exchange->lock, left < kPollMs ? DWORD(left) : kPollMs, 0);
  }
  if (exchange->done) answer = std::move(exchange->answer);
  ::ReleaseSRWLockExclusive(&exchange->lock);
  return answer;
}

std::string DescribeInternetError(DWORD error, bool& worthRetrying) {
  worthRetrying = true;
  switch (error) {
    case ERROR_INTERNET_TIMEOUT: return "等待回答超时";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "找不到服务器（域名无法解析）";
    case ERROR_INTERNET_CANNOT_CONNECT: return "无法连接服务器";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET: return "连接被服务器断开";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "服务器的回答无法识别";
    default: break;
  }
  worthRetrying = false;
  switch (error) {
    case ERROR_INTERNET_INVALID_CA: return "服务器证书不受信任（证书链无效）";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return "服务器证书已过期或尚未生效";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return "服务器证书与主机名不符";
    case ERROR_INTERNET_SEC_CERT_REVOKED: return "服务器证书已被吊销";
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_ERRORS: return "服务器证书无效";
    case ERROR_INTERNET_SECURE_FAILURE: return "安全连接失败（服务器证书或加密协议有误）";
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED: return "服务器要求客户端证书";
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "地址无效";
    default: break;
  }
  worthRetrying = true;
  return "连接出错（WinINet 错误 " + std::to_string(error) + "）";
}
