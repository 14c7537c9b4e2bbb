#include "alerts/smtp_certificate_win.h"

#include <cstdio>

#include "alerts/smtp_reply.h"
#include "base/unique_handle_win.h"

namespace {

struct ChainTraits {
  using Handle = PCCERT_CHAIN_CONTEXT;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::CertFreeCertificateChain(h); }
};

std::string Problem(DWORD error, const std::string& host) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDTESTROOT):
      return "证书无效：不是受信任的机构签发的";
    case static_cast<DWORD>(CERT_E_EXPIRED):
    case static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING):
      return "证书无效：已过期或尚未生效";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "证书无效：名称与 " + ShownText(host, 200) + " 不符";
    case static_cast<DWORD>(CERT_E_REVOKED):
      return "证书无效：已被吊销";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return "证书无效：不能用于服务器";
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "证书无效（0x%08lX）", static_cast<unsigned long>(error));
      return text;
    }
  }
}

}  // namespace

std::string ServerCertificateProblem(PCCERT_CONTEXT certificate, const std::wstring& host,
                                     const std::string& hostUtf8) {
  if (!certificate) return "证书无效：服务器没有出示证书";
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT found = nullptr;
  if (!::CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara,
                                 0, nullptr, &found)) {
    return Problem(::GetLastError(), hostUtf8);
  }
  UniqueHandle<ChainTraits> chain(found);

  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
    return Problem(::GetLastError(), hostUtf8);
  }
  return status.dwError == 0 ? std::string() : Problem(status.dwError, hostUtf8);
}
