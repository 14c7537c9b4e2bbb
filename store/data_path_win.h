#pragma once
// The per-user data folder and the three paths built at start-up.
#include <windows.h>

#include <cstddef>

constexpr size_t kDataPathUnits = 260;

// Builds "<base>\<subFolder>\<fileName>" (either part may be empty), creating the folder and
// every missing parent. A result that would not fit the buffer leaves it empty (so no file
// opens) instead of being cut. Returns true when the path was built and its folder exists.
bool MakeDataPathUnder(wchar_t (&outPath)[kDataPathUnits], const wchar_t* base,
                       const wchar_t* subFolder, const wchar_t* fileName);

// The same under the user's roaming application data folder (not created when missing).
bool MakeDataPath(wchar_t (&outPath)[kDataPathUnits], const wchar_t* subFolder,
                  const wchar_t* fileName);

struct DataPaths {
  wchar_t siteListPath[kDataPathUnits] = {};
  wchar_t configPath[kDataPathUnits] = {};
  wchar_t traceFolderPath[kDataPathUnits] = {};
  wchar_t alertsFile[kDataPathUnits] = {};         // the alert channels, alerts.json
  wchar_t pendingAlertsFile[kDataPathUnits] = {};  // alerts not delivered at exit, alerts-pending.json
};

// <base>\DorvaneSiteMonitor\site.txt, ...\Config.dat and the trace folder ...\GetLog, in that
// order, creating both folders, then ...\alerts.json and ...\alerts-pending.json. An empty base
// leaves all of them empty.
void BuildDataPathsUnder(DataPaths& paths, const wchar_t* base);

// The same under the user's roaming application data folder.
void BuildDataPaths(DataPaths& paths);
