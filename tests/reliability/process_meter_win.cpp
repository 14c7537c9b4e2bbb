#include "tests/reliability/process_meter_win.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace {

// The GDI handle table of a 64-bit process: 65536 entries of 24 bytes; an entry is in use when
// its type byte (offset 14) is not zero.
constexpr size_t kGdiEntries = 0x10000;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiTypeOffset = 14;
constexpr size_t kPebGdiTableOffset = 0xF8;

using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

uint32_t CountKernelHandles(HANDLE process) {
  uint32_t count = 0;
  for (ULONG_PTR value = 4; value <= 0x10000; value += 4) {
    HANDLE copy = nullptr;
    if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(value), ::GetCurrentProcess(), &copy, 0,
                          FALSE, DUPLICATE_SAME_ACCESS)) {
      ++count;
      ::CloseHandle(copy);
    }
  }
  return count;
}

struct WindowCount {
  DWORD process;
  uint32_t count;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
  ++reinterpret_cast<WindowCount*>(param)->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
  auto* c = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != c->process) return TRUE;
  ++c->count;
  ::EnumChildWindows(window, CountChild, param);
  return TRUE;
}

}  // namespace

long CountGdiTableEntries(HANDLE process) {
  auto query = reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  if (!query) return -1;
  PROCESS_BASIC_INFORMATION basic{};
  if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return -1;
  ULONG_PTR table = 0;
  SIZE_T got = 0;
  const auto* pebField = reinterpret_cast<const BYTE*>(basic.PebBaseAddress) + kPebGdiTableOffset;
  if (!::ReadProcessMemory(process, pebField, &table, sizeof table, &got) || table == 0) return -1;
  std::vector<BYTE> entries(kGdiEntries * kGdiEntrySize);
  if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(),
                           entries.size(), &got) || got != entries.size())
    return -1;
  long count = 0;
  for (size_t i = 0; i < kGdiEntries; ++i)
    if (entries[i * kGdiEntrySize + kGdiTypeOffset] != 0) ++count;
  return count;
}

ProcessCounts CountProcessResources(HANDLE process) {
  ProcessCounts c;
  c.kernelHandles = CountKernelHandles(process);
  const long gdi = CountGdiTableEntries(process);
  c.gdiObjects = gdi < 0 ? 0 : static_cast<uint32_t>(gdi);
  WindowCount windows{::GetProcessId(process), 0};
  ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  c.windows = windows.count;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
    c.privateBytes = memory.PrivateUsage;
  return c;
}
