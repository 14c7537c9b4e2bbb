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
#include <mutex>
#include <string>
#include <thread>
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

  // Console control events reach only processes sharing the sender's console. Under ctest this
  // process is attached to no real console, so it makes a fresh one for the child to inherit,
  // keeping its own standard handles where they were.
  {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE), out = ::GetStdHandle(STD_OUTPUT_HANDLE),
           err = ::GetStdHandle(STD_ERROR_HANDLE);
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << ::GetLastError();
    ::SetStdHandle(STD_INPUT_HANDLE, in);
    ::SetStdHandle(STD_OUTPUT_HANDLE, out);
    ::SetStdHandle(STD_ERROR_HANDLE, err);
  }

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readRaw = nullptr, writeRaw = nullptr;
  ASSERT_TRUE(::CreatePipe(&readRaw, &writeRaw, &inherit, 0));
  UniqueKernelHandle readEnd(readRaw), writeEnd(writeRaw);
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  PROCESS_INFORMATION pi{};
  std::wstring program = ConsoleProgramPath();
  std::wstring commandLine = L"\"" + program + L"\"";
  ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                               CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi))
      << "cannot start " << std::string(program.begin(), program.end());
  const auto started = std::chrono::steady_clock::now();
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  writeEnd.reset();  // only the child writes now, so the pipe ends with the child
  ChildOutput output(readEnd.get());
  // Whatever happens below, the child does not outlive the test (and so the reader ends).
  struct Killer {
    HANDLE process;
    ~Killer() {
      if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) ::TerminateProcess(process, 99);
    }
  } killer{process.get()};

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
  const auto probeDeadline = started + 60s;
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
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, pi.dwProcessId)) << ::GetLastError();
  const auto stopDeadline = std::chrono::steady_clock::now() + 20s;
  const int stopping = output.WaitForLine(rowIs("停止中..."), stopDeadline);
  EXPECT_GT(stopping, missingPopup);
  const int stopped = output.WaitForLine(rowIs("监控停止!"), stopDeadline);
  ASSERT_GT(stopping, missingRow);
  ASSERT_GT(stopped, stopping);
  ASSERT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
  DWORD exitCode = 12345;
  ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exitCode));
  EXPECT_EQ(exitCode, 0u);

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
