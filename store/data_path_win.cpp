#include "store/data_path_win.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

namespace {

// "%s\%s" of two parts, or the first alone when the second is empty; false when it does not fit.
bool JoinPath(wchar_t (&out)[kDataPathUnits], const wchar_t* first, const wchar_t* second) {
  const HRESULT hr = (second && second[0])
                         ? ::StringCchPrintfW(out, kDataPathUnits, L"%s\\%s", first, second)
                         : ::StringCchCopyW(out, kDataPathUnits, first);
  if (FAILED(hr)) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

}  // namespace

bool MakeDataPathUnder(wchar_t (&outPath)[kDataPathUnits], const wchar_t* base,
                       const wchar_t* subFolder, const wchar_t* fileName) {
  outPath[0] = L'\0';
  if (!base || !base[0]) return false;
  wchar_t folder[kDataPathUnits];
  if (!JoinPath(folder, base, subFolder)) return false;
  if (!JoinPath(outPath, folder, fileName)) return false;
  if (!::PathIsDirectoryW(folder)) {
    // Creates every missing level, so "DorvaneSiteMonitor\GetLog" makes both folders.
    ::SHCreateDirectoryExW(nullptr, folder, nullptr);
  }
  return ::PathIsDirectoryW(folder) != FALSE;
}

bool MakeDataPath(wchar_t (&outPath)[kDataPathUnits], const wchar_t* subFolder,
                  const wchar_t* fileName) {
  wchar_t appData[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE)) {
    // Without the folder a path would start at the drive's root: leave it empty instead.
    outPath[0] = L'\0';
    return false;
  }
  return MakeDataPathUnder(outPath, appData, subFolder, fileName);
}

void BuildDataPathsUnder(DataPaths& paths, const wchar_t* base) {
  MakeDataPathUnder(paths.siteListPath, base, L"DorvaneSiteMonitor", L"site.txt");
  MakeDataPathUnder(paths.configPath, base, L"DorvaneSiteMonitor", L"Config.dat");
  MakeDataPathUnder(paths.traceFolderPath, base, L"DorvaneSiteMonitor\\GetLog", L"");
  MakeDataPathUnder(paths.alertsFile, base, L"DorvaneSiteMonitor", L"alerts.json");
  MakeDataPathUnder(paths.pendingAlertsFile, base, L"DorvaneSiteMonitor", L"alerts-pending.json");
}

void BuildDataPaths(DataPaths& paths) {
  wchar_t appData[MAX_PATH] = {};
  // Without the folder the paths would start at the drive's root: they stay empty instead.
  if (!::SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE)) appData[0] = L'\0';
  BuildDataPathsUnder(paths, appData);
}
