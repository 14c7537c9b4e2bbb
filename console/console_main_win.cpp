// SiteMonitorConsole.exe: the monitoring engine without the window. It loads the stored settings
// and site list as the window does, starts a run at once and prints the run log and the popups
// on standard output in UTF-8; standard error says first which sites it watches with which
// settings. Ctrl+C, Ctrl+Break or closing the console stops the run as the
// Stop button does, saves Config.dat as leaving the window does, and ends with exit code 0.
//
// The command line (console_arguments.h) may give the sites and settings of this run instead:
// such a run leaves site.txt and Config.dat as they are (only settings given: site.txt is still
// stored at Start, Config.dat is not saved). Bad arguments: one line on standard error and exit
// code 2, before anything is loaded or started.
//
// A run on the stored site list also writes every row to the history (GetLog's day files);
// --report reads the history back instead of starting a run.
//
// Every run sends the alerts of alerts.json as the window does (their give-up rows are printed);
// --alert-test sends one test message to every enabled channel instead of starting a run.
#include <windows.h>

#include <atomic>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "alerts/alert_config_store_win.h"
#include "alerts/alert_rows_message.h"
#include "alerts/alert_service_win.h"
#include "alerts/alert_text.h"
#include "alerts/channel_sender_win.h"
#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "console/alert_test.h"
#include "console/console_arguments.h"
#include "console/console_outlets.h"
#include "console/console_run_window.h"
#include "history/history_folder_win.h"
#include "history/history_report.h"
#include "history/history_thread_win.h"
#include "history/report_page_file_win.h"
#include "monitor/probe_worker_win.h"
#include "monitor/run_control.h"
#include "monitor/run_host_win.h"
#include "store/data_path_win.h"
#include "store/user_char_win.h"
#include "store/win32_files_win.h"

namespace {

LocalTime LocalTimeNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

// Posted by the console control handler: stop the run and leave.
constexpr UINT WM_CONSOLE_STOP = WM_APP + 1;

// The only state the control handler's thread touches: where to post, and the event that says
// the stop is done (the handler waits for it on a console close, after which the process ends).
std::atomic<HWND> g_engineWindow{nullptr};
std::atomic<HANDLE> g_stopDone{nullptr};

struct Engine {
  RunControl* run = nullptr;
  AlertService* alerts = nullptr;
  IReportOutlets* outlets = nullptr;
  bool stopping = false;
  IReportOutlets* screen = nullptr;  // where the history's own rows are printed
};

// The alerts' rows as the run log shows them, stamped when printed.
void PrintAlertRows(const Engine& engine, const std::vector<U16>& rows) {
  for (const U16& row : rows) engine.outlets->InsertLogRow(FormatLogTime(LocalTimeNow()) + u" " + row);
}

void WriteToHandle(DWORD which, std::string_view bytes) {
  HANDLE out = ::GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
      return;
    bytes.remove_prefix(written);
  }
}

void WriteToStdout(std::string_view bytes) { WriteToHandle(STD_OUTPUT_HANDLE, bytes); }

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* engine = reinterpret_cast<Engine*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (engine != nullptr && engine->run != nullptr) {
    if (message == WM_SITE_STATUS) {
      engine->run->OnSiteStatus(static_cast<uint64_t>(wParam), static_cast<int32_t>(lParam));
      return 0;
    }
    if (message == kAlertRowsMessage) {
      PrintAlertRows(*engine, engine->alerts->TakeRows());
      return 0;
    }
    if (message == WM_HISTORY_ROW) {
      const U16 row = TakeHistoryRow(lParam);
      if (engine->screen != nullptr) engine->screen->InsertLogRow(row);
      return 0;
    }
    if (message == WM_CONSOLE_STOP) {
      if (engine->stopping) return 0;  // a second Ctrl+C while the workers end
      engine->stopping = true;
      engine->run->OnStop();     // stopping row, the workers' end rows, stopped row
      engine->run->OnDestroy();  // Config.dat, as leaving the window saves it
      PrintAlertRows(*engine, engine->alerts->Stop());  // a few seconds at most
      if (HANDLE done = g_stopDone.load()) ::SetEvent(done);
      ::PostQuitMessage(0);
      return 0;
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

BOOL WINAPI ConsoleControlHandler(DWORD event) {
  HWND window = g_engineWindow.load();
  if (window == nullptr) return FALSE;
  ::PostMessageW(window, WM_CONSOLE_STOP, 0, 0);
  // After a close, log-off or shut-down event returns the process is ended: wait for the stop.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    if (HANDLE done = g_stopDone.load()) ::WaitForSingleObject(done, 20000);
  }
  return TRUE;
}

// The history of the last `days` days, as text or CSV; exit code 0 also when there is none. A CSV
// going into a file starts with the byte-order mark, so that Excel shows the Chinese.
int PrintHistoryReport(const wchar_t* folderPath, int days, bool csv) {
  const HistoryReport report = BuildHistoryReport(Win32DayFiles(folderPath), ReportClockNow(), days);
  if (!csv) {
    WriteToStdout(HistoryReportText(report));
    return 0;
  }
  if (::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_DISK) WriteToStdout("\xEF\xBB\xBF");
  WriteToStdout(HistoryReportCsv(report));
  return 0;
}

// --alert-test: exit code 0 when every enabled channel got the test message, 1 otherwise.
int SendTestToEveryChannel(const wchar_t* alertsFile) {
  AlertConfig config;
  std::wstring setAside;
  const AlertConfigLoad loaded = LoadAlertConfigFile(alertsFile, config, &setAside);
  if (loaded == AlertConfigLoad::Damaged) {
    WriteToHandle(STD_ERROR_HANDLE, "SiteMonitorConsole: " + Utf8FromU16(AsU16(alertsFile)) +
                                        " is damaged and was set aside" +
                                        (setAside.empty() ? std::string() : " as " + Utf8FromU16(AsU16(setAside.c_str()))) +
                                        "; no test message was sent\r\n");
    return 1;
  }
  const LocalTime now = LocalTimeNow();
  const AlertMessage message = ComposeTestMessage(ThisMachineName(), now, static_cast<int64_t>(::time(nullptr)));
  WinChannelSender sender;
  if (SendAlertTest(config.channels, sender, message, WriteToStdout)) return 0;
  bool anyEnabled = false;
  for (const AlertChannel& channel : config.channels) anyEnabled = anyEnabled || channel.enabled;
  if (!anyEnabled)
    WriteToHandle(STD_ERROR_HANDLE, "SiteMonitorConsole: no enabled alert channel in " +
                                        Utf8FromU16(AsU16(alertsFile)) + "\r\n");
  return 1;
}

// --report --html FILE: the page written whole (or not at all), and where it went. Exit code 0
// also when the history is empty (the page says so), 1 when it cannot be written.
int WriteHtmlReport(const wchar_t* folderPath, const U16& file) {
  const std::wstring given(AsWide(file.c_str()));
  std::wstring target(MAX_PATH, L'\0');
  const DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(target.size()), target.data(), nullptr);
  if (length == 0 || length >= target.size()) target = given;
  else target.resize(length);
  const ReportPageFileResult result = WriteReportPageFile(folderPath, target);
  const std::string where = Utf8FromU16(AsU16(target.c_str()));
  if (!result.written) {
    WriteToHandle(STD_ERROR_HANDLE, "SiteMonitorConsole: cannot write the page to " + where + " (error " +
                                        std::to_string(result.error) + ")\r\n");
    return 1;
  }
  WriteToStdout("可用率报告已写入 " + where + "（" + std::to_string(result.sites) + " 个站点）\r\n");
  return 0;
}

// Every row printed is also handed to the history's thread (its own rows come back as
// WM_HISTORY_ROW and are printed only).
class HistoryOutlets final : public IReportOutlets {
 public:
  HistoryOutlets(IReportOutlets& screen, HistoryThread* history) : screen_(screen), history_(history) {}

  void InsertLogRow(U16View text) override {
    screen_.InsertLogRow(text);
    if (history_ != nullptr) history_->Post(text);
  }
  int ShowNotification(int show, int seconds, U16View text, U16View title) override {
    return screen_.ShowNotification(show, seconds, text, title);
  }
  void SetTrayTip(U16View text) override { screen_.SetTrayTip(text); }

 private:
  IReportOutlets& screen_;
  HistoryThread* history_;
};

struct WindowDestroyer {
  void operator()(HWND window) const { if (window != nullptr) ::DestroyWindow(window); }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::SetConsoleOutputCP(CP_UTF8);

  std::vector<U16> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(AsU16(argv[i]));
  ConsoleArguments arguments;
  std::string error;
  if (!ParseConsoleArguments(words, arguments, error)) {
    WriteToHandle(STD_ERROR_HANDLE, "SiteMonitorConsole: " + error + "\r\n");
    return 2;
  }
  if (arguments.help) {
    WriteToStdout(ConsoleUsage());
    return 0;
  }

  DataPaths paths;
  BuildDataPaths(paths);
  SetTraceFolderPath(paths.traceFolderPath);
  if (arguments.report && arguments.html) return WriteHtmlReport(paths.traceFolderPath, arguments.htmlPath);
  if (arguments.report) return PrintHistoryReport(paths.traceFolderPath, arguments.reportDays, arguments.csv);
  if (arguments.alertTest) return SendTestToEveryChannel(paths.alertsFile);

  Win32StoreFiles files;
  UserCharCodePage codePage;
  const StoredStatePaths storedPaths{AsU16(paths.siteListPath), AsU16(paths.configPath)};
  ConfigRecord record;
  U16 siteText = LoadStoredState(files, codePage, storedPaths, record);
  if (arguments.HasSettings()) {
    MonitorSettings settings = SettingsOf(record);
    arguments.ApplySettings(settings);
    SetSettings(record, settings);
  }
  const bool sitesGiven = !arguments.sites.empty();
  if (sitesGiven) siteText = arguments.SiteListText();
  const ConsoleStoring storing{!sitesGiven, !sitesGiven && !arguments.HasSettings()};

  // The workers report to a window: a hidden message-only one on this thread.
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = EngineWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"DorvaneSiteMonitorConsoleEngine";
  if (!::RegisterClassExW(&windowClass)) return 1;
  std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer> window(::CreateWindowExW(
      0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
  if (!window) return 1;

  UniqueKernelHandle stopDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_stopDone.store(stopDone.get());

  ConsoleOutlets screen(WriteToStdout);
  // Addresses from the command line store nothing, the history included.
  std::unique_ptr<HistoryThread> history;
  if (!sitesGiven) history = std::make_unique<HistoryThread>(paths.traceFolderPath, 'C', window.get());
  HistoryOutlets withHistory(screen, history.get());
  IReportOutlets& outlets = sitesGiven ? static_cast<IReportOutlets&>(screen) : withHistory;
  ConsoleRunWindow runWindow(files, codePage, storedPaths, record, std::move(siteText), window.get(), outlets,
                             storing);
  Win32RunThreads threads(SiteProbeThreadProc);
  AlertService alerts;  // before the run control, which tells it of every report until it goes
  RunControl run(threads, runWindow);
  run.SetReportObserver(&alerts.Observer());
  Engine engine{&run, &alerts, &outlets, false, &screen};
  ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&engine));

  g_engineWindow.store(window.get());
  // Started in a new process group, Ctrl+C is ignored unless asked for again.
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  ::SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);

  // Standard output carries the run log alone; this goes beside it.
  WriteToHandle(STD_ERROR_HANDLE, ConsoleBanner(runWindow.ReadSiteListText(), SettingsOf(record), sitesGiven));
  PrintAlertRows(engine, alerts.Start(paths.alertsFile, paths.pendingAlertsFile, window.get(), kAlertRowsMessage));
  run.OnStart();

  MSG msg;
  int exitCode = 0;
  for (;;) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      exitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      exitCode = 1;
      break;
    }
    ::DispatchMessageW(&msg);
  }

  ::SetConsoleCtrlHandler(ConsoleControlHandler, FALSE);
  g_engineWindow.store(nullptr);
  ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, 0);
  g_stopDone.store(nullptr);
  return exitCode;
}
