#pragma once
// A TCP connection to the mail server through Winsock: connecting with a time limit, sending
// and receiving in slices of at most 250 ms so that a raised cancel is seen soon. Failures are
// told in plain words.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/unique_handle_win.h"

struct SocketTraits {
  using Handle = SOCKET;
  static Handle None() { return INVALID_SOCKET; }
  static void Close(Handle h) { ::closesocket(h); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

class SmtpSocket {
 public:
  // `waitMs`: how long one connect, send or receive may wait.
  SmtpSocket(const std::atomic<bool>& cancel, uint32_t waitMs) : cancel_(cancel), waitMs_(waitMs) {}
  ~SmtpSocket();
  SmtpSocket(const SmtpSocket&) = delete;
  SmtpSocket& operator=(const SmtpSocket&) = delete;

  bool Connect(const std::wstring& host, int port, std::string& problem);
  bool SendAll(std::string_view bytes, std::string& problem);
  // Bytes received (> 0), 0 when the server closed, -1 on a failure.
  int ReceiveSome(char* buffer, int size, std::string& problem);
  // "[192.0.2.7]": our address on this connection, the name EHLO gives.
  std::string LocalAddressLiteral() const;

 private:
  enum class Ready { Yes, TimedOut, Cancelled, Failed };
  Ready Wait(bool forWrite);
  static std::string Described(const char* what, int error);

  const std::atomic<bool>& cancel_;
  uint32_t waitMs_;
  bool started_ = false;
  UniqueSocket socket_;
};
