#include "alerts/hmac_sha256_win.h"

#include <windows.h>
#include <bcrypt.h>

#include "base/unique_handle_win.h"

namespace {
struct AlgorithmTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::BCryptDestroyHash(h); }
};

PUCHAR Bytes(std::string_view text) { return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())); }
}  // namespace

bool BCryptHmacSha256::Compute(std::string_view key, std::string_view message, std::string& mac) {
  mac.clear();
  BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                    BCRYPT_ALG_HANDLE_HMAC_FLAG)))
    return false;
  UniqueHandle<AlgorithmTraits> algorithm(rawAlgorithm);
  BCRYPT_HASH_HANDLE rawHash = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), &rawHash, nullptr, 0, Bytes(key),
                                         static_cast<ULONG>(key.size()), 0)))
    return false;
  UniqueHandle<HashTraits> hash(rawHash);
  if (!message.empty() &&
      !BCRYPT_SUCCESS(::BCryptHashData(hash.get(), Bytes(message), static_cast<ULONG>(message.size()), 0)))
    return false;
  unsigned char digest[32] = {};
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest, sizeof digest, 0))) return false;
  mac.assign(reinterpret_cast<const char*>(digest), sizeof digest);
  return true;
}
