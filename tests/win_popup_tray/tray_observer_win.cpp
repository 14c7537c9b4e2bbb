#include "tests/win_popup_tray/tray_observer_win.h"

#include <commctrl.h>

#include "base/unique_handle_win.h"

namespace {

std::vector<HWND> ForeignWindowsOfClass(const wchar_t* className) {
  struct Request {
    const wchar_t* className;
    std::vector<HWND> found;
  } request{className, {}};
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* r = reinterpret_cast<Request*>(param);
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        wchar_t name[64] = {};
        ::GetClassNameW(window, name, 64);
        if (process != ::GetCurrentProcessId() && lstrcmpW(name, r->className) == 0)
          r->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&request));
  return request.found;
}

// Memory in another process, released with it.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size)
      : process_(process), base_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
  ~RemoteBlock() {
    if (base_ != nullptr) ::VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  char* get() const { return static_cast<char*>(base_); }

 private:
  HANDLE process_;
  void* base_;
};

}  // namespace

std::vector<std::wstring> ForeignTooltipTexts() {
  std::vector<std::wstring> texts;
  constexpr size_t kTextOffset = 512;
  constexpr size_t kTextUnits = 1024;
  for (HWND tooltip : ForeignWindowsOfClass(L"tooltips_class32")) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(tooltip, &processId);
    UniqueKernelHandle process(
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (!process) continue;
    RemoteBlock block(process.get(), kTextOffset + kTextUnits * sizeof(wchar_t));
    if (block.get() == nullptr) continue;
    const LRESULT tools = ::SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; i < tools; ++i) {
      TTTOOLINFOW info{};
      info.cbSize = sizeof(info);
      info.lpszText = reinterpret_cast<wchar_t*>(block.get() + kTextOffset);
      const wchar_t empty = L'\0';
      ::WriteProcessMemory(process.get(), block.get() + kTextOffset, &empty, sizeof(empty), nullptr);
      ::WriteProcessMemory(process.get(), block.get(), &info, sizeof(info), nullptr);
      if (!::SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block.get())))
        continue;
      wchar_t text[kTextUnits] = {};
      ::ReadProcessMemory(process.get(), block.get() + kTextOffset, text, sizeof(text) - sizeof(wchar_t), nullptr);
      texts.emplace_back(text);
    }
  }
  return texts;
}

std::vector<HWND> StandaloneTrayIcons() {
  std::vector<HWND> icons;
  HWND tray = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
  if (tray == nullptr) return icons;
  for (HWND child = ::FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); child != nullptr;
       child = ::FindWindowExW(tray, child, L"__winex11_tray_icon", nullptr))
    icons.push_back(child);
  return icons;
}

int StandaloneTrayIconCount() {
  if (::FindWindowW(L"__winex11_standalone_tray", nullptr) == nullptr) return -1;
  return static_cast<int>(StandaloneTrayIcons().size());
}
