#include "alerts/dpapi_protector_win.h"

#include <windows.h>
#include <dpapi.h>

namespace {
// Binds the sealed secrets to this use, so another program's blob of the same user does not open
// as one of ours.
constexpr char kEntropy[] = "Corvell alerts.json";

// The output blob DPAPI allocates, freed with LocalFree.
struct OutputBlob {
  DATA_BLOB blob{};
  ~OutputBlob() {
    if (blob.pbData != nullptr) {
      ::SecureZeroMemory(blob.pbData, blob.cbData);
      ::LocalFree(blob.pbData);
    }
  }
};

DATA_BLOB InputOf(const std::string& bytes) {
  DATA_BLOB in;
  in.cbData = static_cast<DWORD>(bytes.size());
  in.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
  return in;
}
}  // namespace

bool DpapiSecretProtector::Protect(const std::string& plain, std::string& sealed) {
  DATA_BLOB in = InputOf(plain);
  DATA_BLOB entropy{sizeof kEntropy - 1, reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy))};
  OutputBlob out;
  if (!::CryptProtectData(&in, L"Corvell", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out.blob))
    return false;
  sealed.assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
  return true;
}

bool DpapiSecretProtector::Unprotect(const std::string& sealed, std::string& plain) {
  DATA_BLOB in = InputOf(sealed);
  DATA_BLOB entropy{sizeof kEntropy - 1, reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy))};
  OutputBlob out;
  if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out.blob))
    return false;
  plain.assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
  return true;
}
