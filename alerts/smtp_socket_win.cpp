#include "alerts/smtp_socket_win.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr int kSliceMs = 250;  // how often a wait looks at the cancel flag

struct AddressListTraits {
  using Handle = ADDRINFOW*;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::FreeAddrInfoW(h); }
};

}  // namespace

SmtpSocket::~SmtpSocket() {
  socket_.reset();
  if (started_) ::WSACleanup();
}

std::string SmtpSocket::Described(const char* what, int error) {
  const char* reason = nullptr;
  switch (error) {
    case WSAECONNREFUSED: reason = "连接被拒绝"; break;
    case WSAETIMEDOUT: reason = "超时"; break;
    case WSAECONNRESET: reason = "连接被重置"; break;
    case WSAECONNABORTED: reason = "连接中断"; break;
    case WSAENETUNREACH: case WSAEHOSTUNREACH: reason = "网络不通"; break;
    default: break;
  }
  char text[160];
  if (reason) std::snprintf(text, sizeof text, "%s（%s）", what, reason);
  else std::snprintf(text, sizeof text, "%s（错误 %d）", what, error);
  return text;
}

SmtpSocket::Ready SmtpSocket::Wait(bool forWrite) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs_);
  for (;;) {
    if (cancel_.load(std::memory_order_relaxed)) return Ready::Cancelled;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return Ready::TimedOut;
    const long slice = static_cast<long>(left < kSliceMs ? left : kSliceMs);
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket_.get(), &ready);
    FD_SET(socket_.get(), &failed);
    timeval wait{slice / 1000, (slice % 1000) * 1000};
    const int count = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &wait);
    if (count == SOCKET_ERROR) return Ready::Failed;
    if (count > 0) return FD_ISSET(socket_.get(), &failed) ? Ready::Failed : Ready::Yes;
  }
}

bool SmtpSocket::Connect(const std::wstring& host, int port, std::string& problem) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    problem = "无法使用网络（WSAStartup）";
    return false;
  }
  started_ = true;
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* found = nullptr;
  const std::wstring service = std::to_wstring(port);
  if (::GetAddrInfoW(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
    problem = "找不到邮件服务器";
    return false;
  }
  UniqueHandle<AddressListTraits> addresses(found);
  problem = "无法连接邮件服务器";
  for (ADDRINFOW* address = found; address; address = address->ai_next) {
    socket_.reset(::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
    if (!socket_) continue;
    u_long nonBlocking = 1;
    ::ioctlsocket(socket_.get(), FIONBIO, &nonBlocking);
    if (::connect(socket_.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) {
      problem = Described("无法连接邮件服务器", ::WSAGetLastError());
      continue;
    }
    const Ready ready = Wait(true);
    if (ready == Ready::Cancelled) {
      problem = "已取消";
      socket_.reset();
      return false;
    }
    int error = 0;
    int length = sizeof error;
    ::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (ready == Ready::Yes && error == 0) return true;
    problem = ready == Ready::TimedOut ? "连接邮件服务器超时" : Described("无法连接邮件服务器", error);
  }
  socket_.reset();
  return false;
}

bool SmtpSocket::SendAll(std::string_view bytes, std::string& problem) {
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(bytes.size() < 65536 ? bytes.size() : 65536);
    const int sent = ::send(socket_.get(), bytes.data(), chunk, 0);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK) {
      problem = Described("发送到邮件服务器失败", ::WSAGetLastError());
      return false;
    }
    const Ready ready = Wait(true);
    if (ready != Ready::Yes) {
      problem = ready == Ready::Cancelled ? "已取消" : ready == Ready::TimedOut ? "发送到邮件服务器超时"
                                                                                : "发送到邮件服务器失败";
      return false;
    }
  }
  return true;
}

int SmtpSocket::ReceiveSome(char* buffer, int size, std::string& problem) {
  for (;;) {
    const int got = ::recv(socket_.get(), buffer, size, 0);
    if (got >= 0) return got;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) {
      problem = Described("与邮件服务器的连接中断", ::WSAGetLastError());
      return -1;
    }
    const Ready ready = Wait(false);
    if (ready == Ready::Cancelled) problem = "已取消";
    else if (ready == Ready::TimedOut) problem = "等待邮件服务器回答超时";
    else if (ready == Ready::Failed) problem = "与邮件服务器的连接中断";
    if (ready != Ready::Yes) return -1;
  }
}

std::string SmtpSocket::LocalAddressLiteral() const {
  sockaddr_storage local{};
  int length = sizeof local;
  char text[INET6_ADDRSTRLEN] = "127.0.0.1";
  if (::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    if (local.ss_family == AF_INET6) {
      ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr, text, sizeof text);
      return std::string("[IPv6:") + text + "]";
    }
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&local)->sin_addr, text, sizeof text);
  }
  return std::string("[") + text + "]";
}
