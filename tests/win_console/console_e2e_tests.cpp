// SiteMonitorConsole.exe end to end: a loopback server with one site answering 200 and one
// answering 404, stored settings and site list, the program as a child process with its output
// redirected, Ctrl+C, and what it printed and saved.
//
// Isolation: the program takes its files from the user's AppData folder, which Wine (like
// Windows) resolves through HKCU\...\Explorer\User Shell Folders\AppData. The test points that
// value at a scratch folder of its own for its duration and restores the original value
// afterwards (also after a failure), so no other test's files are read or written. The test runs
// in a Wine prefix of its own (tests/support/wine-isolated), so that no other program reads
// AppData meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/unique_handle_win.h"
#include "tests/support/loopback_http_server_win.h"
#include "tests/support/test_files.h"

using namespace std::chrono_literals;
using sitemon_test::Le32;
using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
// The scratch folders' names begin so, to recognise a value left behind.
const char kScratchName[] = "sitemon-console-test";
const wchar_t kScratchMarker[] = L"sitemon-console-test-";

// Points the user's AppData at a folder for the object's life.
class AppDataRedirect {
 public:
  explicit AppDataRedirect(const std::wstring& folder) {
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS)
      return;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key_, L"AppData", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      original_.resize(size);
      if (::RegQueryValueExW(key_, L"AppData", nullptr, &type, original_.data(), &size) == ERROR_SUCCESS) {
        originalType_ = type;
        hadOriginal_ = true;
      }
    }
    // A value left behind by an earlier run that was killed: the prefix's default is meant.
    const std::wstring current(reinterpret_cast<const wchar_t*>(original_.data()), original_.size() / sizeof(wchar_t));
    if (!hadOriginal_ || current.find(kScratchMarker) != std::wstring::npos) {
      const std::wstring def = L"%USERPROFILE%\\AppData\\Roaming";
      original_.assign(reinterpret_cast<const BYTE*>(def.c_str()), reinterpret_cast<const BYTE*>(def.c_str() + def.size() + 1));
      originalType_ = REG_EXPAND_SZ;
      hadOriginal_ = true;
    }
    ok_ = ::RegSetValueExW(key_, L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                           static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ~AppDataRedirect() {
    if (key_ == nullptr) return;
    if (ok_ && hadOriginal_)
      ::RegSetValueExW(key_, L"AppData", 0, originalType_, original_.data(), static_cast<DWORD>(original_.size()));
    ::RegCloseKey(key_);
  }
  AppDataRedirect(const AppDataRedirect&) = delete;
  AppDataRedirect& operator=(const AppDataRedirect&) = delete;
  bool ok() const { return ok_; }

 private:
  HKEY key_ = nullptr;
  std::vector<BYTE> original_;
  DWORD originalType_ = REG_EXPAND_SZ;
  bool hadOriginal_ = false;
  bool ok_ = false;
};

// The console program's path: the build gives it as a Unix path under Wine (drive Z: is /).
std::wstring ConsoleProgramPath() {
  std::string path = SITEMON_CONSOLE_EXE;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::wstring wide(path.begin(), path.end());
  for (auto& c : wide)
    if (c == L'/') c = L'\\';
  return wide;
}

// The child's standard output, collected by a reader thread, split into lines.
class ChildOutput {
 public:
  explicit ChildOutput(HANDLE readEnd) : readEnd_(readEnd), reader_([this] { Read(); }) {}
  ~ChildOutput() { reader_.join(); }  // ends when the child's end of the pipe is closed
  ChildOutput(const ChildOutput&) = delete;
  ChildOutput& operator=(const ChildOutput&) = delete;

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mu_);
    return Split();
  }
  // Everything read once the writer has gone (waits for the pipe's end up to the deadline).
  std::string AllText(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_until(lock, deadline, [&] { return closed_; });
    return text_;
  }
  // Waits until some line satisfies pred (returns its index) or the deadline passes (-1).
  template <typename Pred>
  int WaitForLine(Pred pred, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mu_);
    int found = -1;
    cv_.wait_until(lock, deadline, [&] {
      const auto lines = Split();
      for (size_t i = 0; i < lines.size(); ++i)
        if (pred(lines[i])) {
          found = static_cast<int>(i);
          return true;
        }
      return closed_;
    });
    return found;
  }

 private:
  void Read() {
    char buffer[4096];
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(readEnd_, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
      std::lock_guard<std::mutex> lock(mu_);
      text_.append(buffer, got);
      cv_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = true;
    cv_.notify_all();
  }
  std::vector<std::string> Split() const {  // whole lines only, without their CR LF
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text_.find("\r\n", start)) != std::string::npos) {
      lines.push_back(text_.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  HANDLE readEnd_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::string text_;
  bool closed_ = false;
  std::thread reader_;
};

// "yyyy-m-d hh:mm:ss " at the start of a row.
bool HasStamp(const std::string& s) {
  const size_t space = s.find(' ');
  return space != std::string::npos && space >= 8 && s.size() > space + 9 && s[space + 3] == ':' &&
         s[space + 6] == ':' && s[space + 9] == ' ';
}
std::string WithoutStamp(const std::string& s) {
  return HasStamp(s) ? s.substr(s.find(' ') + 10) : s;
}

// Console control events reach only processes sharing the sender's console. Under ctest this
// process is attached to no real console, so it makes a fresh one for the children to inherit,
// keeping its own standard handles where they were.
bool EnsureOwnConsole() {
  static const bool made = [] {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE), out = ::GetStdHandle(STD_OUTPUT_HANDLE),
           err = ::GetStdHandle(STD_ERROR_HANDLE);
    ::FreeConsole();
    const bool ok = ::AllocConsole() != FALSE;
    ::SetStdHandle(STD_INPUT_HANDLE, in);
    ::SetStdHandle(STD_OUTPUT_HANDLE, out);
    ::SetStdHandle(STD_ERROR_HANDLE, err);
    return ok;
  }();
  return made;
}

// SiteMonitorConsole.exe started with a command line, in a process group of its own, its
// standard output and standard error read apart. Killed if still running when the object goes.
class ConsoleChild {
 public:
  explicit ConsoleChild(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return;
    outRead_.reset(outRead);
    UniqueKernelHandle outWriteEnd(outWrite);
    if (!::CreatePipe(&errRead, &errWrite, &inherit, 0)) return;
    errRead_.reset(errRead);
    UniqueKernelHandle errWriteEnd(errWrite);
    ::SetHandleInformation(outRead_.get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead_.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = outWriteEnd.get();
    si.hStdError = errWriteEnd.get();
    PROCESS_INFORMATION pi{};
    const std::wstring program = ConsoleProgramPath();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                          nullptr, nullptr, &si, &pi))
      return;
    started_ = std::chrono::steady_clock::now();
    process_.reset(pi.hProcess);
    ::CloseHandle(pi.hThread);
    processId_ = pi.dwProcessId;
    // Only the child holds the write ends now, so the pipes end with the child.
    out_ = std::make_unique<ChildOutput>(outRead_.get());
    err_ = std::make_unique<ChildOutput>(errRead_.get());
  }
  ~ConsoleChild() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(process_.get(), 99);
      ::WaitForSingleObject(process_.get(), 10000);
    }
  }
  ConsoleChild(const ConsoleChild&) = delete;
  ConsoleChild& operator=(const ConsoleChild&) = delete;

  bool ok() const { return out_ != nullptr; }
  ChildOutput& Out() { return *out_; }
  ChildOutput& Err() { return *err_; }
  HANDLE Process() const { return process_.get(); }
  DWORD ProcessId() const { return processId_; }
  std::chrono::steady_clock::time_point Started() const { return started_; }
  // The exit code once the child ended within the time; 12345 when it did not.
  DWORD WaitForExit(DWORD milliseconds) {
    DWORD code = 12345;
    if (::WaitForSingleObject(process_.get(), milliseconds) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process_.get(), &code))
      return 12345;
    return code;
  }

 private:
  UniqueKernelHandle outRead_, errRead_, process_;
  std::unique_ptr<ChildOutput> out_, err_;
  DWORD processId_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace

TEST(ConsoleProgram, MonitorsTwoLoopbackSitesAndStopsOnCtrlC) {
  sitemon_test::LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply("/ok", sitemon_test::StatusReply(200, "OK", "", "fine"));
  server.SetReply("/missing", sitemon_test::StatusReply(404, "Not Found", "", "nothing here"));
  const std::string okUrl = server.Url("/ok");
  const std::string missingUrl = server.Url("/missing");

  TempFolder scratch(kScratchName);
  ASSERT_TRUE(scratch.ok());
  const fs::path dataFolder = scratch.path() / L"DorvaneSiteMonitor";
  ASSERT_TRUE(fs::create_directory(dataFolder));
  // Shortest settings the lists offer: check every 30 s, one retry after 10 s.
  std::string config = Le32(30) + Le32(1) + Le32(10) + Le32(0) + Le32(2);
  config.resize(240, '\0');
  config[100] = '\x5A';  // the opaque block must come back unchanged
  ASSERT_TRUE(WriteBytes(dataFolder / L"Config.dat", config));
  ASSERT_TRUE(WriteBytes(dataFolder / L"site.txt", "  " + okUrl + "  \r\n\r\n" + missingUrl + "\r\n"));

  AppDataRedirect redirect(scratch.path().wstring());
  ASSERT_TRUE(redirect.ok());

  ASSERT_TRUE(EnsureOwnConsole()) << ::GetLastError();
  ConsoleChild child(L"");
  ASSERT_TRUE(child.ok()) << "cannot start " << SITEMON_CONSOLE_EXE;
  const auto started = child.Started();
  ChildOutput& output = child.Out();

  auto lineIs = [](std::string expected) { return [expected](const std::string& l) { return l == expected; }; };
  auto rowIs = [](std::string expected) {
    return [expected](const std::string& l) { return HasStamp(l) && WithoutStamp(l) == expected; };
  };
  const auto startDeadline = started + 15s;
  const int thread1 = output.WaitForLine(rowIs("线程[1]启动"), startDeadline);
  const int thread2 = output.WaitForLine(rowIs("线程[2]启动"), startDeadline);
  const int runRow = output.WaitForLine(rowIs("监控开始运行"), startDeadline);
  const int startPopup = output.WaitForLine(lineIs("[Dorvane提示] 监控开始运行..."), startDeadline);
  ASSERT_EQ(thread1, 0);
  EXPECT_EQ(thread2, 1);
  EXPECT_EQ(runRow, 2);
  EXPECT_EQ(startPopup, 3);

  // The first probe comes one second short of the check interval; the 404 is reported only on
  // the retry ten seconds later (retry count 1).
  const auto probeDeadline = started + 90s;
  const int okRow = output.WaitForLine(rowIs(okUrl + " 访问正常"), probeDeadline);
  const auto okSeen = std::chrono::steady_clock::now();
  const int missingRow = output.WaitForLine(rowIs(missingUrl + " 网页不存在"), probeDeadline);
  const auto missingSeen = std::chrono::steady_clock::now();
  ASSERT_GT(okRow, startPopup) << "no 200 row";
  ASSERT_GT(missingRow, okRow) << "no 404 row after the 200 row";
  EXPECT_GE(okSeen - started, 27s);
  EXPECT_GE(missingSeen - started, 37s);
  const std::string missingText = output.Lines()[missingRow];
  const int missingPopup = output.WaitForLine(lineIs("[Dorvane提示] " + missingText), probeDeadline);
  EXPECT_EQ(missingPopup, missingRow + 1);  // the 404 row pops up as it was logged
  size_t missingRequests = 0;
  for (const auto& r : server.Requests()) missingRequests += r.target == "/missing";
  EXPECT_EQ(missingRequests, 2u);  // first attempt and one retry

  // Ctrl+C to the child's process group only. (Wine 8 passes only Ctrl+C between processes; it
  // has no Ctrl+Break delivery. The program treats both alike, and re-enables Ctrl+C, which a
  // new process group starts with disabled.)
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.ProcessId())) << ::GetLastError();
  const auto stopDeadline = std::chrono::steady_clock::now() + 20s;
  const int stopping = output.WaitForLine(rowIs("停止中..."), stopDeadline);
  EXPECT_GT(stopping, missingPopup);
  const int stopped = output.WaitForLine(rowIs("监控停止!"), stopDeadline);
  ASSERT_GT(stopping, missingRow);
  ASSERT_GT(stopped, stopping);
  EXPECT_EQ(child.WaitForExit(20000), 0u);

  const auto lines = output.Lines();
  std::string transcript;  // kept in the test log: what the program printed
  for (const auto& l : lines) transcript += "  | " + l + "\n";
  std::printf("SiteMonitorConsole.exe printed:\n%s", transcript.c_str());
  ASSERT_EQ(static_cast<size_t>(stopped) + 1, lines.size()) << "the stopped row is the last line";
  int ends1 = 0, ends2 = 0;
  for (int i = stopping + 1; i < stopped; ++i) {
    ends1 += WithoutStamp(lines[i]) == "[1]线程退出";
    ends2 += WithoutStamp(lines[i]) == "[2]线程退出";
  }
  EXPECT_EQ(ends1, 1);
  EXPECT_EQ(ends2, 1);

  // Start stored the normalised list; leaving saved the settings with the opaque block intact.
  EXPECT_EQ(ReadBytes(dataFolder / L"site.txt"), okUrl + "\r\n" + missingUrl);
  EXPECT_EQ(ReadBytes(dataFolder / L"Config.dat"), config);
  // The history's day file holds every row printed, and only the rows, each with its run's facts.
  std::string history = "\xEF\xBB\xBF";
  for (const auto& l : lines)
    if (l.rfind("[Dorvane提示]", 0) != 0) history += l + "\r\n";
  std::string written;
  for (const auto& file : fs::directory_iterator(dataFolder / L"GetLog")) {
    const std::string bytes = ReadBytes(file.path());
    for (size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2) {
      const std::string line = bytes.substr(at, end - at);
      EXPECT_NE(line.find("\t~ run=C-"), std::string::npos) << line;
      written += line.substr(0, line.rfind("\t~ run=")) + "\r\n";
    }
  }
  EXPECT_EQ(written, history);
}

namespace {

// Stored files the command-line runs below must not use or write: settings no run would show a
// row with inside a minute (check every 15 min) and an address no one serves.
struct StoredFiles {
  explicit StoredFiles(const std::string& siteText) : scratch(kScratchName) {
    config = Le32(900) + Le32(3) + Le32(300) + Le32(0) + Le32(2);
    config.resize(240, '\0');
    site = siteText;
    ok = scratch.ok() && fs::create_directory(dataFolder()) && WriteBytes(dataFolder() / L"Config.dat", config) &&
         WriteBytes(dataFolder() / L"site.txt", site);
  }
  fs::path dataFolder() const { return scratch.path() / L"DorvaneSiteMonitor"; }
  bool Unchanged() const {
    return ReadBytes(dataFolder() / L"Config.dat") == config && ReadBytes(dataFolder() / L"site.txt") == site;
  }
  TempFolder scratch;
  std::string config, site;
  bool ok = false;
};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

TEST(ConsoleProgram, RunsTheSitesAndSettingsOfItsCommandLineAndStoresNothing) {
  sitemon_test::LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply("/a", sitemon_test::StatusReply(200, "OK", "", "fine"));
  server.SetReply("/b", sitemon_test::StatusReply(200, "OK", "", "fine"));
  const std::string aUrl = server.Url("/a"), bUrl = server.Url("/b");
  StoredFiles stored("  " + server.Url("/stored") + "  \r\n");
  ASSERT_TRUE(stored.ok);
  AppDataRedirect redirect(stored.scratch.path().wstring());
  ASSERT_TRUE(redirect.ok());
  ASSERT_TRUE(EnsureOwnConsole()) << ::GetLastError();

  // The first address has blanks around it and an empty word follows: normalised away.
  ConsoleChild child(L"--interval 30 --retries 1 --retry-interval 10 \"  " + Wide(aUrl) + L"  \" \"\" " + Wide(bUrl));
  ASSERT_TRUE(child.ok());
  ChildOutput& output = child.Out();
  auto rowIs = [](std::string expected) {
    return [expected](const std::string& l) { return HasStamp(l) && WithoutStamp(l) == expected; };
  };
  const auto startDeadline = child.Started() + 15s;
  EXPECT_EQ(output.WaitForLine(rowIs("线程[1]启动"), startDeadline), 0);
  EXPECT_EQ(output.WaitForLine(rowIs("线程[2]启动"), startDeadline), 1);
  EXPECT_EQ(output.WaitForLine(rowIs("监控开始运行"), startDeadline), 2);
  EXPECT_EQ(output.WaitForLine([](const std::string& l) { return l == "[Dorvane提示] 监控开始运行..."; }, startDeadline), 3);
  // Rows for both addresses a second short of the 30 s given (the stored 15 min would show none).
  const auto probeDeadline = child.Started() + 60s;
  EXPECT_GT(output.WaitForLine(rowIs(aUrl + " 访问正常"), probeDeadline), 3);
  EXPECT_GT(output.WaitForLine(rowIs(bUrl + " 访问正常"), probeDeadline), 3);
  EXPECT_EQ(output.WaitForLine(rowIs("线程[3]启动"), std::chrono::steady_clock::now()), -1);

  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.ProcessId())) << ::GetLastError();
  EXPECT_GT(output.WaitForLine(rowIs("监控停止!"), std::chrono::steady_clock::now() + 20s), 3);
  EXPECT_EQ(child.WaitForExit(20000), 0u);
  for (const auto& r : server.Requests()) EXPECT_NE(r.target, "/stored");
  // Standard error says only what the run watches, with which settings, and how to stop it.
  EXPECT_EQ(child.Err().AllText(std::chrono::steady_clock::now() + 5s),
            "SiteMonitorConsole: watching 2 sites (from the command line), checked every 30 s, 1 retry 10 s apart:\r\n"
            "  [1] " + aUrl + "\r\n  [2] " + bUrl + "\r\nCtrl+C stops the run.\r\n");
  EXPECT_TRUE(stored.Unchanged()) << "site.txt or Config.dat was written";
  EXPECT_TRUE(fs::is_empty(stored.dataFolder() / L"GetLog")) << "the run wrote a history";
}

TEST(ConsoleProgram, RefusesBadArgumentsOnStandardErrorWithExitCode2) {
  StoredFiles stored("http://127.0.0.1:9/stored\r\n");
  ASSERT_TRUE(stored.ok);
  AppDataRedirect redirect(stored.scratch.path().wstring());
  ASSERT_TRUE(redirect.ok());
  const std::pair<std::wstring, std::string> cases[] = {
      {L"--bogus http://127.0.0.1:9/", "unknown option \"--bogus\"; accepted: --interval S, --retries N, "
                                       "--retry-interval S, --help, then the addresses to monitor; "
                                       "or --report [--days N] [--csv]; or --report --html FILE; or --alert-test"},
      {L"--interval 45 http://127.0.0.1:9/", "--interval does not accept \"45\"; accepted seconds: 30, 60, 120, 300, 600 or 900"},
      {L"--retry-interval", "--retry-interval needs a value (seconds): 10, 30, 60, 120 or 300"},
  };
  for (const auto& [arguments, expected] : cases) {
    ConsoleChild child(arguments);
    ASSERT_TRUE(child.ok());
    EXPECT_EQ(child.WaitForExit(15000), 2u) << expected;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    EXPECT_EQ(child.Err().AllText(deadline), "SiteMonitorConsole: " + expected + "\r\n");
    EXPECT_EQ(child.Out().AllText(deadline), "") << "no worker may start";
  }
  ConsoleChild help(L"--help");
  ASSERT_TRUE(help.ok());
  EXPECT_EQ(help.WaitForExit(15000), 0u);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  EXPECT_EQ(help.Out().AllText(deadline).rfind("Usage: SiteMonitorConsole.exe [--interval S] [--retries N]", 0), 0u);
  EXPECT_EQ(help.Err().AllText(deadline), "");
  EXPECT_TRUE(stored.Unchanged()) << "site.txt or Config.dat was written";
}

// Registered as the ctest cleanup of the test above: if that run was killed before it could
// restore the AppData value, put the prefix's default back.
TEST(ConsoleProgramCleanup, AppDataPointsAtNoScratchFolder) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key), ERROR_SUCCESS);
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof value - sizeof(wchar_t), type = 0;
  const LONG got = ::RegQueryValueExW(key, L"AppData", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  if (got != ERROR_SUCCESS || std::wstring(value).find(kScratchMarker) != std::wstring::npos) {
    const std::wstring def = L"%USERPROFILE%\\AppData\\Roaming";
    EXPECT_EQ(::RegSetValueExW(key, L"AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(def.c_str()),
                               static_cast<DWORD>((def.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
  }
  size = sizeof value - sizeof(wchar_t);
  ASSERT_EQ(::RegQueryValueExW(key, L"AppData", nullptr, &type, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(value).find(kScratchMarker), std::wstring::npos);
  ::RegCloseKey(key);
}
