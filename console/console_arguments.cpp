#include "console/console_arguments.h"

#include "monitor/line_list.h"
#include "monitor/settings_tables.h"

namespace {

struct ValueOption {
  const char16_t* name;
  const SettingTable* table;
  const char* unit;
  std::optional<int32_t> ConsoleArguments::*field;
};

const ValueOption kValueOptions[] = {
    {u"--interval", &kCheckIntervalTable, "seconds", &ConsoleArguments::checkIntervalSeconds},
    {u"--retries", &kRetryCountTable, "count", &ConsoleArguments::retryCount},
    {u"--retry-interval", &kRetryIntervalTable, "seconds", &ConsoleArguments::retryIntervalSeconds},
};

// "30, 60, 120, 300, 600 or 900"
std::string AcceptedValues(const SettingTable& table) {
  std::string text;
  for (size_t i = 0; i < table.count; ++i) {
    if (i > 0) text += i + 1 == table.count ? " or " : ", ";
    text += std::to_string(table.choices[i].value);
  }
  return text;
}

// Plain decimal digits only; nullopt for anything else or a number too long to be offered.
std::optional<int32_t> DecimalValue(const U16& word) {
  if (word.empty() || word.size() > 9) return std::nullopt;
  int32_t value = 0;
  for (char16_t c : word) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

constexpr int kMostReportDays = 90;

std::string Quoted(const U16& word) {
  std::string text(1, '"');
  text += Utf8FromU16(word);
  text += '"';
  return text;
}

}  // namespace

void ConsoleArguments::ApplySettings(MonitorSettings& settings) const {
  if (checkIntervalSeconds) settings.checkIntervalSeconds = *checkIntervalSeconds;
  if (retryCount) settings.retryCount = *retryCount;
  if (retryIntervalSeconds) settings.retryIntervalSeconds = *retryIntervalSeconds;
}

U16 ConsoleArguments::SiteListText() const {
  U16 text;
  for (size_t i = 0; i < sites.size(); ++i) {
    if (i > 0) text += u"\r\n";
    text += sites[i];
  }
  return text;
}

bool ParseConsoleArguments(const std::vector<U16>& words, ConsoleArguments& arguments, std::string& error) {
  arguments = ConsoleArguments{};
  bool optionsEnded = false;
  bool daysGiven = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const U16& word = words[i];
    if (optionsEnded || word.empty() || word[0] != u'-') {
      arguments.sites.push_back(word);
      continue;
    }
    if (word == u"--") {
      optionsEnded = true;
      continue;
    }
    if (word == u"--help" || word == u"-h" || word == u"/?") {
      arguments.help = true;
      continue;
    }
    if (word == u"--alert-test") {
      arguments.alertTest = true;
      continue;
    }
    // "--interval 30" or "--interval=30"
    const size_t equals = word.find(u'=');
    const U16 name = word.substr(0, equals);
    if (word == u"--report" || word == u"--csv") {
      (word == u"--csv" ? arguments.csv : arguments.report) = true;
      continue;
    }
    if (name == u"--html") {
      const U16 valueWord = equals != U16::npos ? word.substr(equals + 1) : i + 1 < words.size() ? words[++i] : U16();
      if (valueWord.empty()) {
        error = "--html needs the path of the page to write";
        return false;
      }
      arguments.html = true;
      arguments.htmlPath = valueWord;
      continue;
    }
    if (name == u"--days") {
      const U16 valueWord = equals != U16::npos ? word.substr(equals + 1) : i + 1 < words.size() ? words[++i] : U16();
      const std::optional<int32_t> days = DecimalValue(valueWord);
      if (!days || *days < 1 || *days > kMostReportDays) {
        error = "--days does not accept " + Quoted(valueWord) + "; accepted: a number of days from 1 to " +
                std::to_string(kMostReportDays);
        return false;
      }
      arguments.reportDays = *days;
      daysGiven = true;
      continue;
    }
    const ValueOption* option = nullptr;
    for (const ValueOption& candidate : kValueOptions)
      if (name == candidate.name) option = &candidate;
    if (option == nullptr) {
      error = "unknown option " + Quoted(word) +
              "; accepted: --interval S, --retries N, --retry-interval S, --help, then the addresses to monitor; "
              "or --report [--days N] [--csv]; or --report --html FILE; or --alert-test";
      return false;
    }
    const std::string accepted = AcceptedValues(*option->table);
    U16 valueWord;
    if (equals != U16::npos) {
      valueWord = word.substr(equals + 1);
    } else if (i + 1 < words.size()) {
      valueWord = words[++i];
    } else {
      error = Utf8FromU16(name) + " needs a value (" + option->unit + "): " + accepted;
      return false;
    }
    const std::optional<int32_t> value = DecimalValue(valueWord);
    if (!value || PositionOfValue(*option->table, *value) < 0) {
      error = Utf8FromU16(name) + " does not accept " + Quoted(valueWord) + "; accepted " + option->unit + ": " +
              accepted;
      return false;
    }
    arguments.*(option->field) = *value;
  }
  if ((daysGiven || arguments.csv || arguments.html) && !arguments.report) {
    error = std::string(daysGiven ? "--days" : arguments.csv ? "--csv" : "--html") + " goes only with --report";
    return false;
  }
  if (arguments.html && (daysGiven || arguments.csv)) {
    error = "--html takes neither --days nor --csv; the page covers the last 24 hours, 7, 30 and 90 days";
    return false;
  }
  if (arguments.report && (arguments.HasSettings() || !arguments.sites.empty())) {
    error = "--report takes only --days N and --csv, or --html FILE; it starts no run";
    return false;
  }
  if (arguments.alertTest && words.size() != 1) {
    error = "--alert-test takes no other argument";
    return false;
  }
  if (!arguments.sites.empty() && CLineList::Normalised(arguments.SiteListText()).Count() == 0) {
    error = "the addresses given are all blank; give at least one address to monitor";
    return false;
  }
  return true;
}

std::string ConsoleUsage() {
  return "Usage: SiteMonitorConsole.exe [--interval S] [--retries N] [--retry-interval S] [URL ...]\r\n"
         "       SiteMonitorConsole.exe --report [--days N] [--csv]\r\n"
         "       SiteMonitorConsole.exe --report --html FILE\r\n"
         "       SiteMonitorConsole.exe --alert-test\r\n"
         "Monitors the sites and prints the run log and the popups in UTF-8. Ctrl+C stops.\r\n"
         "\r\n"
         "  --interval S        check every S seconds: " + AcceptedValues(kCheckIntervalTable) + "\r\n"
         "  --retries N         retry count: " + AcceptedValues(kRetryCountTable) + "\r\n"
         "  --retry-interval S  seconds between retries: " + AcceptedValues(kRetryIntervalTable) + "\r\n"
         "  --help              print this text and exit\r\n"
         "  URL ...             the sites of this run, one address per word (blanks trimmed,\r\n"
         "                      empty ones dropped); put -- before an address beginning with -\r\n"
         "\r\n"
         "Addresses given here are monitored instead of the stored site list (site.txt);\r\n"
         "settings not given come from Config.dat. Settings given here apply to this run only.\r\n"
         "A run with addresses writes neither file; a run with only settings stores the site list\r\n"
         "as Start does but not the settings. With no arguments the program runs on the stored\r\n"
         "site list and settings and stores both, as the window does.\r\n"
         "Every row of a run on the stored site list also goes to the history, a day file\r\n"
         "GetLog\\YYYY-MM-DD.log in the data folder (the last 90 days are kept).\r\n"
         "\r\n"
         "  --report            print how reliable each site was: up time, outages, the\r\n"
         "                      latest status, then every outage; read from the history\r\n"
         "  --days N            the last N days, 1 to 90 (default 7)\r\n"
         "  --csv               the per-site table as CSV with a header row\r\n"
         "  --html FILE         write the availability page (one HTML file, opens from disk):\r\n"
         "                      each site's up time over 24 hours, 7, 30 and 90 days, a cell\r\n"
         "                      per day, its outages, and this machine's network outages\r\n"
         "\r\n"
         "  --alert-test        send one test message to every enabled alert channel of\r\n"
         "                      alerts.json in the data folder, one line per channel with its\r\n"
         "                      outcome; exit code 0 when every one was delivered, 1 otherwise\r\n"
         "Every run sends the alerts of alerts.json (see docs/alerts.md).\r\n"
         "\r\n"
         "Errors in the arguments are reported in English on standard error, exit code 2.\r\n";
}

std::string ConsoleBanner(U16View siteListText, const MonitorSettings& settings, bool fromCommandLine) {
  const CLineList sites = CLineList::Normalised(siteListText);
  std::string text = "SiteMonitorConsole: watching " + std::to_string(sites.Count()) +
                     (sites.Count() == 1 ? " site" : " sites") + " (" +
                     (fromCommandLine ? "from the command line" : "the stored site list") + "), checked every " +
                     std::to_string(settings.checkIntervalSeconds) + " s, " +
                     std::to_string(settings.retryCount) + (settings.retryCount == 1 ? " retry " : " retries ") +
                     std::to_string(settings.retryIntervalSeconds) + " s apart:\r\n";
  for (size_t i = 0; i < sites.Count(); ++i)
    text += "  [" + std::to_string(i + 1) + "] " + Utf8FromU16(sites.LineView(i)) + "\r\n";
  text += "Ctrl+C stops the run.\r\n";
  return text;
}
