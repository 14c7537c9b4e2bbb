#pragma once
// SiteMonitorConsole.exe's command line:
//   [--interval S] [--retries N] [--retry-interval S] [--] [URL ...]   or   --help
//   or   --report [--days N] [--csv]   or   --report --html FILE   or   --alert-test
// Each setting takes only a value its list in the main window offers. Addresses given here are
// the site list of this run (normalised at Start as the window's edit box is); settings given
// here apply to this run only. Error texts are English, one line, without a line end.
#include <optional>
#include <string>
#include <vector>

#include "base/utf16.h"
#include "store/monitor_settings.h"

struct ConsoleArguments {
  bool help = false;
  // The report of the history instead of a run: the last reportDays days (1 to 90), as CSV.
  bool report = false;
  int reportDays = 7;
  bool csv = false;
  // One test message to every enabled alert channel instead of a run.
  bool alertTest = false;
  // --html FILE: the availability page written to FILE instead of the text (the page has its
  // own periods, so neither --days nor --csv goes with it).
  bool html = false;
  U16 htmlPath;
  std::optional<int32_t> checkIntervalSeconds;
  std::optional<int32_t> retryCount;
  std::optional<int32_t> retryIntervalSeconds;
  std::vector<U16> sites;

  bool HasSettings() const { return checkIntervalSeconds || retryCount || retryIntervalSeconds; }
  // The given settings over the stored ones.
  void ApplySettings(MonitorSettings& settings) const;
  // The addresses as the edit box would hold them: one a line, CR LF between.
  U16 SiteListText() const;
};

// Parses the words after the program name. False, with the error line set, for an unknown
// option, an option without its value, a value its list does not offer, or addresses that are
// all blank.
bool ParseConsoleArguments(const std::vector<U16>& words, ConsoleArguments& arguments, std::string& error);

// The --help text (UTF-8, lines ending in CR LF).
std::string ConsoleUsage();

// What the console says on standard error as it starts (UTF-8, lines ending in CR LF): the
// sites of the run, normalised and numbered as the run log numbers them, the three settings,
// and that Ctrl+C stops the run.
std::string ConsoleBanner(U16View siteListText, const MonitorSettings& settings, bool fromCommandLine);
