#include "alerts/alert_service_win.h"

#include <iterator>

#include "alerts/alert_config_store_win.h"
#include "alerts/channel_sender_win.h"
#include "alerts/pending_alerts.h"
#include "store/win32_files_win.h"

namespace {

std::string Utf8(const wchar_t* text) { return Utf8FromU16(U16View(reinterpret_cast<const char16_t*>(text))); }
U16 Text16(const std::wstring& text) { return U16(reinterpret_cast<const char16_t*>(text.c_str()), text.size()); }

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

AlertEngineSetup SetupOfThisMachine() {
  AlertEngineSetup setup;
  setup.sender = std::make_shared<WinChannelSender>();
  setup.machine = ThisMachineName();
  return setup;
}


}  // namespace

std::string ThisMachineName() {
  wchar_t name[256] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  if (::GetComputerNameExW(ComputerNameDnsHostname, name, &size) && name[0] != L'\0') return Utf8(name);
  size = static_cast<DWORD>(std::size(name));
  if (::GetComputerNameW(name, &size)) return Utf8(name);
  return std::string();
}

AlertService::AlertService() : engine_(std::make_unique<AlertEngine>(SetupOfThisMachine())) {}

AlertService::~AlertService() { Stop(); }

std::vector<U16> AlertService::Start(const wchar_t* alertsFile, const wchar_t* pendingFile, HWND window, UINT message) {
  std::vector<U16> rows;
  if (started_) return rows;
  started_ = true;
  pendingFile_ = pendingFile != nullptr ? pendingFile : L"";

  AlertConfig config;
  std::wstring setAside;
  const std::wstring path = alertsFile != nullptr ? alertsFile : L"";
  if (!path.empty() && LoadAlertConfigFile(path, config, &setAside) == AlertConfigLoad::Damaged) {
    U16 row = u"告警设置文件 " + Text16(FileNameOf(path)) + u" 已损坏";
    row += setAside.empty() ? u"，无法改名" : u"，已改名为 " + Text16(FileNameOf(setAside));
    row += u"，本次运行不发送告警";
    rows.push_back(std::move(row));
    config.channels.clear();
  }

  Win32StoreFiles files;
  const std::vector<PendingMessage> earlier =
      pendingFile_.empty() ? std::vector<PendingMessage>{} : TakePendingAlertsFile(files, Text16(pendingFile_));
  // Everything the sender thread may do to the window: post it a bare message.
  engine_->Start(config.channels, earlier, [window, message] {
    if (window != nullptr) ::PostMessageW(window, message, 0, 0);
  });
  return rows;
}

std::vector<U16> AlertService::Stop() {
  if (!started_) return {};
  started_ = false;
  const std::vector<PendingMessage> pending = engine_->Shutdown();
  if (!pendingFile_.empty()) {
    Win32StoreFiles files;
    KeepPendingAlertsFile(files, Text16(pendingFile_), pending);
  }
  return engine_->TakeRows();
}
