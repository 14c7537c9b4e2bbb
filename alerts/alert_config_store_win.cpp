#include "alerts/alert_config_store_win.h"

#include <windows.h>

#include <cwchar>

#include "alerts/dpapi_protector_win.h"
#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "store/win32_files_win.h"

namespace {
constexpr LONGLONG kMaxFileBytes = 1024 * 1024;

enum class ReadResult { Read, Missing, Unreadable };

ReadResult ReadWholeFile(const std::wstring& path, std::string& bytes) {
  UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                           : ReadResult::Unreadable;
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileBytes) return ReadResult::Unreadable;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  size_t done = 0;
  while (done < bytes.size()) {
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr))
      return ReadResult::Unreadable;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return ReadResult::Read;
}

// "<path>.damaged-YYYYMMDD-HHMMSS", with "-2".. "-9" when that name is taken.
std::wstring SetAside(const std::wstring& path) {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t stamp[32] = {};
  std::swprintf(stamp, 32, L".damaged-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  for (int attempt = 1; attempt <= 9; ++attempt) {
    std::wstring aside = path + stamp;
    if (attempt > 1) aside += L"-" + std::to_wstring(attempt);
    if (::MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return aside;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  return {};
}

}  // namespace

AlertConfigLoad LoadAlertConfigFile(const std::wstring& path, AlertConfig& config, std::wstring* setAsidePath) {
  config = {};
  if (setAsidePath != nullptr) setAsidePath->clear();
  std::string bytes;
  const ReadResult read = ReadWholeFile(path, bytes);
  if (read == ReadResult::Missing) return AlertConfigLoad::Missing;
  DpapiSecretProtector secrets;
  if (read == ReadResult::Read && ParseAlertConfig(bytes, secrets, config) == AlertConfigLoad::Loaded) {
    if (config.hadPlainSecrets && SaveAlertConfigFile(path, config)) config.hadPlainSecrets = false;
    return AlertConfigLoad::Loaded;
  }
  config = {};
  const std::wstring aside = SetAside(path);
  if (setAsidePath != nullptr) *setAsidePath = aside;
  return AlertConfigLoad::Damaged;
}

bool SaveAlertConfigFile(const std::wstring& path, const AlertConfig& config) {
  DpapiSecretProtector secrets;
  std::string bytes;
  if (!SerialiseAlertConfig(config, secrets, bytes)) return false;
  Win32StoreFiles files;
  const U16 target(AsU16(path.c_str()), path.size());
  return SaveFileSafely(files, target, FileBytes(bytes.begin(), bytes.end()));
}
