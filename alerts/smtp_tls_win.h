#pragma once
// A TLS client over the mail connection through Schannel (SSPI): the handshake, then every
// byte encrypted and decrypted. The server's certificate is checked by us once the handshake
// is done (the chain, the dates, the name), never left to chance.
#include <windows.h>
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // declares SCH_CREDENTIALS
#include <security.h>
#include <schannel.h>

#include <string>
#include <string_view>

#include "alerts/smtp_socket_win.h"

class TlsSession {
 public:
  explicit TlsSession(SmtpSocket& socket) : socket_(socket) {}
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // The handshake with `host` (also its SNI name) and the check of its certificate.
  bool Handshake(const std::wstring& host, const std::string& hostUtf8, std::string& problem);
  bool Send(std::string_view bytes, std::string& problem);
  // Plain bytes (> 0), 0 when the server closed, -1 on a failure.
  int Receive(char* buffer, int size, std::string& problem);

 private:
  bool AcquireCredentials(std::string& problem);
  // Runs InitializeSecurityContext until it is done; `initial`: the first call, with no input.
  bool Negotiate(bool initial, std::string& problem);
  bool ReceiveMore(std::string& problem);
  int TakePlain(char* buffer, int size);

  SmtpSocket& socket_;
  std::wstring host_;
  CredHandle credentials_{};
  bool haveCredentials_ = false;
  CtxtHandle context_{};
  bool haveContext_ = false;
  SecPkgContext_StreamSizes sizes_{};
  bool closed_ = false;
  std::string encrypted_;  // received, not yet decrypted
  std::string plain_;      // decrypted, not yet taken
};
