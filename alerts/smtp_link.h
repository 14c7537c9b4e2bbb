#pragma once
// The byte stream one SMTP dialogue runs over: a TCP connection, encrypted from the first byte
// or after STARTTLS. The dialogue only reads and writes through it, so it runs the same on the
// real connection and on a scripted one.
#include <string>
#include <string_view>

class ISmtpLink {
 public:
  virtual ~ISmtpLink() = default;
  // Sends every byte; false when the connection failed (Problem() says why).
  virtual bool Send(std::string_view bytes) = 0;
  // Some bytes into `buffer`: how many, 0 when the server closed the connection, -1 on a failure
  // (a time limit, a cancel, a broken connection; Problem() says which).
  virtual int Receive(char* buffer, int size) = 0;
  // Turns the connection into TLS once the server has agreed to STARTTLS: the handshake and the
  // check of the server's certificate. false when either fails (Problem() says which).
  virtual bool StartTls() = 0;
  virtual bool Encrypted() const = 0;
  // The last failure in plain words, e.g. "等待邮件服务器回答超时" or the certificate problem.
  virtual std::string Problem() const = 0;
};
