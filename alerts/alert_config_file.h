#pragma once
// The channels' stored file (alerts.json in the data folder): UTF-8 JSON, saved whole or not at
// all. Secrets are kept encrypted for the Windows user; a secret written there in plain text by
// hand is taken and stored encrypted at the next save.
#include <string>
#include <vector>

#include "alerts/alert_channel.h"

// Encrypts and decrypts the stored secrets (DPAPI on Windows; tests use a fake).
class ISecretProtector {
 public:
  virtual ~ISecretProtector() = default;
  virtual bool Protect(const std::string& plain, std::string& sealed) = 0;
  virtual bool Unprotect(const std::string& sealed, std::string& plain) = 0;
};

enum class AlertConfigLoad { Missing, Loaded, Damaged };

struct AlertConfig {
  std::vector<AlertChannel> channels;
  bool hadPlainSecrets = false;  // a secret was read in plain text: save again to encrypt it
};

// Parses the file's bytes. Damaged: not JSON, not the expected shape, or a secret that cannot be
// decrypted for this user.
AlertConfigLoad ParseAlertConfig(const std::string& bytes, ISecretProtector& secrets, AlertConfig& config);
// The file's bytes for these channels, secrets encrypted; false when a secret cannot be encrypted.
bool SerialiseAlertConfig(const AlertConfig& config, ISecretProtector& secrets, std::string& bytes);
