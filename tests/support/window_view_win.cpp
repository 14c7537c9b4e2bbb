#include "tests/support/window_view_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "tests/support/remote_block_win.h"

namespace sitemon_test {

namespace {

const wchar_t kStandaloneTrayClass[] = L"__winex11_standalone_tray";

BOOL CALLBACK CollectTooltips(HWND window, LPARAM param) {
  if (ClassOf(window) == L"tooltips_class32") reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectTrayIcons(HWND window, LPARAM param) {
  if (ClassOf(window) == L"__winex11_tray_icon") reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

// The texts of one tooltip window's tools that belong to `tools`, read through memory in the
// tooltip's process.
void AddTooltipTexts(HWND tooltip, const std::vector<HWND>& tools, std::vector<std::wstring>& texts) {
  UniqueKernelHandle process = OpenForMemory(tooltip);
  if (!process) return;
  RemoteBlock block(process.get(), sizeof(TTTOOLINFOW) + kRemoteTextUnits * sizeof(wchar_t));
  if (!block) return;
  LRESULT count = 0;
  if (!SendWithTimeout(tooltip, TTM_GETTOOLCOUNT, 0, 0, count)) return;
  for (LRESULT i = 0; i < count; ++i) {
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.lpszText = static_cast<LPWSTR>(block.At(sizeof(TTTOOLINFOW)));
    LRESULT found = 0;
    if (!block.Write(0, &info, sizeof info) ||
        !SendWithTimeout(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block.At(0)),
                         found) ||
        !found || !block.Read(0, &info, sizeof info)) {
      continue;
    }
    if (std::find(tools.begin(), tools.end(), info.hwnd) == tools.end()) continue;
    // Ask for the text itself into a cleared buffer; the enumeration may not copy it.
    std::wstring text(kRemoteTextUnits, L'\0');
    info.lpszText = static_cast<LPWSTR>(block.At(sizeof(TTTOOLINFOW)));
    LRESULT ignored = 0;
    if (!block.Write(0, &info, sizeof info) ||
        !block.Write(sizeof(TTTOOLINFOW), text.data(), kRemoteTextUnits * sizeof(wchar_t)) ||
        !SendWithTimeout(tooltip, TTM_GETTEXTW, kRemoteTextUnits, reinterpret_cast<LPARAM>(block.At(0)), ignored) ||
        !block.Read(sizeof(TTTOOLINFOW), text.data(), (kRemoteTextUnits - 1) * sizeof(wchar_t))) {
      continue;
    }
    text.resize(std::wcslen(text.c_str()));
    texts.push_back(text);
  }
}

}  // namespace

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  ::GetClassNameW(window, name, 128);
  return name;
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, &answer)) {
    return false;
  }
  result = static_cast<LRESULT>(answer);
  return true;
}

bool WindowTextOf(HWND window, std::wstring& text) {
  LRESULT length = 0;
  if (!SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, length)) return false;
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = 0;
  if (!SendWithTimeout(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied)) {
    return false;
  }
  buffer.resize(static_cast<size_t>(copied));
  text = buffer;
  return true;
}

RECT WorkArea() {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

UniqueKernelHandle OpenForMemory(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return UniqueKernelHandle(::OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, process));
}

bool HasStandaloneTray() { return ::FindWindowW(kStandaloneTrayClass, nullptr) != nullptr; }

std::vector<HWND> TrayIcons() {
  std::vector<HWND> icons;
  HWND tray = ::FindWindowW(kStandaloneTrayClass, nullptr);
  if (tray) ::EnumChildWindows(tray, CollectTrayIcons, reinterpret_cast<LPARAM>(&icons));
  return icons;
}

std::vector<std::wstring> TooltipTextsOf(const std::vector<HWND>& tools) {
  std::vector<HWND> tooltips;
  ::EnumWindows(CollectTooltips, reinterpret_cast<LPARAM>(&tooltips));
  std::vector<std::wstring> texts;
  for (HWND tooltip : tooltips) AddTooltipTexts(tooltip, tools, texts);
  return texts;
}

}  // namespace sitemon_test
