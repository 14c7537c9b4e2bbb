#pragma once
// The stored secrets sealed by DPAPI for the Windows user who runs the program: a copied file
// or a backup opens for nobody else.
#include "alerts/alert_config_file.h"

class DpapiSecretProtector : public ISecretProtector {
 public:
  bool Protect(const std::string& plain, std::string& sealed) override;
  bool Unprotect(const std::string& sealed, std::string& plain) override;
};
