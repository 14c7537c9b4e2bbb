#pragma once
// alerts.json on disk: read at start, written whole or not at all, its secrets sealed by DPAPI
// for the Windows user.
#include <string>

#include "alerts/alert_config_file.h"

// Reads the channels. Missing: no file (no channels). Damaged: the file could not be read or
// understood; it is renamed aside ("alerts.json.damaged-20261208-231500", the local time), the
// new name in *setAsidePath (empty when even the rename failed), and `config` is empty. A file
// holding a secret in plain text is saved again at once, sealed.
AlertConfigLoad LoadAlertConfigFile(const std::wstring& path, AlertConfig& config, std::wstring* setAsidePath);

// Writes the channels through a temporary file that then replaces the old one; false (the old
// file untouched) when a secret cannot be sealed or any step fails.
bool SaveAlertConfigFile(const std::wstring& path, const AlertConfig& config);
