// sitemon_e2e_driver: drives a running SiteMonitor.exe from outside for the end-to-end tests.
//
//   sitemon_e2e_driver <command> [args...]   one command; exit code 0 when it succeeded
//   sitemon_e2e_driver session               commands from standard input, one JSON array of
//                                            strings per line (["set-text","1000","..."])
//
// Every command answers with one line: a JSON object with "ok" and its findings. Commands
// (times in milliseconds, ids are the main window's control ids):
//   window | wait-window <ms> [any] | wait-gone <ms> | windows
//   get-text <id> | set-text <id> <text> | combo-get <id> | combo-set <id> <index>
//   click <id> | is-enabled <id> | close | escape | command <id>
//   log-rows | wait-rows <substring> <count> <ms>
//   popup | wait-popup <0|1> <ms> | popup-close | tray-icons | tray-click [right] | tray-tip
//   about | wait-about <0|1> <ms> | about-escape
//   alerts | wait-alerts <0|1> <ms> | wait-alerts-answer <text> <ms> | alerts-set <id> <text>
//   alerts-combo <id> <index> | alerts-click <id> | alerts-enabled <id> | alerts-select <row> | alerts-escape
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/driver/commands_win.h"
#include "tests/e2e/driver/json_line.h"

namespace {

void WriteLine(const std::string& line) {
  const std::string bytes = line + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

bool Answer(const std::vector<std::wstring>& words) {
  JsonLine out;
  bool ok = false;
  if (words.empty()) {
    out.Text("error", L"no command");
  } else {
    ok = RunCommand(words[0], std::vector<std::wstring>(words.begin() + 1, words.end()), out);
  }
  JsonLine line;
  line.Bool("ok", ok);
  const std::string findings = out.Finish();
  // Splice the findings behind "ok" so the answer stays one flat object.
  std::string text = line.Finish();
  if (findings.size() > 2) text = text.substr(0, text.size() - 1) + "," + findings.substr(1);
  WriteLine(text);
  return ok;
}

std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                          nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), units);
  return text;
}

int Session() {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    pending.append(chunk, got);
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      std::vector<std::wstring> words;
      if (!ParseStringArray(FromUtf8(line), words)) {
        WriteLine("{\"ok\":false,\"error\":\"expected a JSON array of strings\"}");
        continue;
      }
      if (words.size() == 1 && words[0] == L"quit") return 0;
      Answer(words);
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> words(argv + 1, argv + argc);
  if (words.size() == 1 && words[0] == L"session") return Session();
  return Answer(words) ? 0 : 1;
}
