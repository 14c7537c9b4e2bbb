#include "alerts/smtp_tls_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "alerts/smtp_certificate_win.h"

namespace {

constexpr std::size_t kMaxEncrypted = 256 * 1024;  // a handshake's certificates, or a few records
constexpr ULONG kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

struct CertificateTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::CertFreeCertificateContext(h); }
};

std::string Failure(const char* what, SECURITY_STATUS status) {
  char text[96];
  std::snprintf(text, sizeof text, "%s（0x%08lX）", what, static_cast<unsigned long>(status));
  return text;
}

}  // namespace

TlsSession::~TlsSession() {
  if (haveContext_) ::DeleteSecurityContext(&context_);
  if (haveCredentials_) ::FreeCredentialsHandle(&credentials_);
}

bool TlsSession::AcquireCredentials(std::string& problem) {
  // We check the certificate ourselves after the handshake; no client certificate is offered.
  const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry;
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = flags;
  SECURITY_STATUS status = ::AcquireCredentialsHandleW(
      nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &current, nullptr,
      nullptr, &credentials_, &expiry);
  if (status != SEC_E_OK) {  // systems that know only the older structure
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    status = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                         nullptr, &older, nullptr, nullptr, &credentials_, &expiry);
  }
  if (status != SEC_E_OK) {
    problem = Failure("无法使用 TLS", status);
    return false;
  }
  haveCredentials_ = true;
  return true;
}

bool TlsSession::ReceiveMore(std::string& problem) {
  if (encrypted_.size() > kMaxEncrypted) {
    problem = "邮件服务器的 TLS 数据过长";
    return false;
  }
  char chunk[16384];
  const int got = socket_.ReceiveSome(chunk, sizeof chunk, problem);
  if (got == 0) problem = "TLS 握手时邮件服务器断开了连接";
  if (got <= 0) return false;
  encrypted_.append(chunk, static_cast<std::size_t>(got));
  return true;
}

bool TlsSession::Negotiate(bool initial, std::string& problem) {
  bool first = initial;
  bool needData = !initial && encrypted_.empty();
  for (;;) {
    if (needData && !ReceiveMore(problem)) return false;
    SecBuffer input[2] = {{static_cast<ULONG>(encrypted_.size()), SECBUFFER_TOKEN, encrypted_.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputs{SECBUFFER_VERSION, 2, input};
    SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outputs{SECBUFFER_VERSION, 1, output};
    ULONG granted = 0;
    const SECURITY_STATUS status = ::InitializeSecurityContextW(
        &credentials_, first ? nullptr : &context_, const_cast<wchar_t*>(host_.c_str()), kRequest, 0, 0,
        first ? nullptr : &inputs, 0, first ? &context_ : nullptr, &outputs, &granted, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
    first = false;
    if (output[0].pvBuffer) {
      const std::string_view token(static_cast<const char*>(output[0].pvBuffer), output[0].cbBuffer);
      std::string ignored;
      const bool sent = token.empty() || socket_.SendAll(token, status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ? problem : ignored);
      ::FreeContextBuffer(output[0].pvBuffer);
      if (!sent && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) return false;
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needData = true;
      continue;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
      problem = status == SEC_I_INCOMPLETE_CREDENTIALS ? std::string("邮件服务器要求客户端证书")
                                                        : Failure("TLS 握手失败", status);
      return false;
    }
    if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0 && input[1].cbBuffer <= encrypted_.size()) {
      encrypted_.erase(0, encrypted_.size() - input[1].cbBuffer);
    } else {
      encrypted_.clear();
    }
    if (status == SEC_E_OK) return true;
    needData = encrypted_.empty();
  }
}

bool TlsSession::Handshake(const std::wstring& host, const std::string& hostUtf8, std::string& problem) {
  host_ = host;
  if (!AcquireCredentials(problem) || !Negotiate(true, problem)) return false;
  PCCERT_CONTEXT presented = nullptr;
  if (::QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &presented) != SEC_E_OK) {
    presented = nullptr;
  }
  UniqueHandle<CertificateTraits> certificate(presented);
  problem = ServerCertificateProblem(certificate.get(), host, hostUtf8);
  if (!problem.empty()) return false;
  const SECURITY_STATUS status = ::QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
  if (status != SEC_E_OK || sizes_.cbMaximumMessage == 0) {
    problem = Failure("TLS 握手失败", status);
    return false;
  }
  return true;
}

bool TlsSession::Send(std::string_view bytes, std::string& problem) {
  std::string packet;
  while (!bytes.empty()) {
    const std::size_t take = std::min<std::size_t>(bytes.size(), sizes_.cbMaximumMessage);
    packet.assign(sizes_.cbHeader + take + sizes_.cbTrailer, '\0');
    std::memcpy(packet.data() + sizes_.cbHeader, bytes.data(), take);
    SecBuffer parts[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, packet.data()},
        {static_cast<ULONG>(take), SECBUFFER_DATA, packet.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, packet.data() + sizes_.cbHeader + take},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, parts};
    const SECURITY_STATUS status = ::EncryptMessage(&context_, 0, &message, 0);
    if (status != SEC_E_OK) {
      problem = Failure("TLS 加密失败", status);
      return false;
    }
    const std::size_t length = parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer;
    if (!socket_.SendAll(std::string_view(packet.data(), length), problem)) return false;
    bytes.remove_prefix(take);
  }
  return true;
}

int TlsSession::TakePlain(char* buffer, int size) {
  const int count = static_cast<int>(std::min<std::size_t>(plain_.size(), static_cast<std::size_t>(size)));
  std::memcpy(buffer, plain_.data(), static_cast<std::size_t>(count));
  plain_.erase(0, static_cast<std::size_t>(count));
  return count;
}

int TlsSession::Receive(char* buffer, int size, std::string& problem) {
  for (;;) {
    if (!plain_.empty()) return TakePlain(buffer, size);
    if (!encrypted_.empty()) {
      SecBuffer parts[4] = {{static_cast<ULONG>(encrypted_.size()), SECBUFFER_DATA, encrypted_.data()},
                            {0, SECBUFFER_EMPTY, nullptr}, {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc message{SECBUFFER_VERSION, 4, parts};
      const SECURITY_STATUS status = ::DecryptMessage(&context_, &message, 0, nullptr);
      if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE || status == SEC_I_CONTEXT_EXPIRED) {
        std::string extra;
        for (const SecBuffer& part : parts) {
          if (part.BufferType == SECBUFFER_DATA && part.pvBuffer) {
            plain_.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
          } else if (part.BufferType == SECBUFFER_EXTRA && part.pvBuffer) {
            extra.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
          }
        }
        encrypted_ = std::move(extra);
        if (status == SEC_I_CONTEXT_EXPIRED) closed_ = true;
        // The server's post-handshake messages (TLS 1.3 session tickets) go back to the handshake.
        if (status == SEC_I_RENEGOTIATE && !Negotiate(false, problem)) return -1;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) {
        problem = Failure("TLS 解密失败", status);
        return -1;
      }
    }
    if (closed_) return 0;
    if (encrypted_.size() > kMaxEncrypted) {
      problem = "邮件服务器的 TLS 数据过长";
      return -1;
    }
    char chunk[16384];
    const int got = socket_.ReceiveSome(chunk, sizeof chunk, problem);
    if (got <= 0) return got;
    encrypted_.append(chunk, static_cast<std::size_t>(got));
  }
}
