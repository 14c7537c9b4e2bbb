#include "tests/support/resource_counts_win.h"

#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace sitemon_test {

namespace {

// The GDI handle table of a 64-bit process: 65536 entries of 24 bytes; an entry is in use when
// its type byte (offset 14) is not zero.
constexpr size_t kGdiEntries = 0x10000;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiTypeOffset = 14;
constexpr size_t kPebGdiTableOffset = 0xF8;

using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

// One entry of NtQuerySystemInformation's SystemHandleInformation: every handle of every process.
struct SystemHandleEntry {
  ULONG ownerProcess;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct SystemHandleList {
  ULONG count;
  SystemHandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
using QuerySystem = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

// The process's entries in the system's handle list; -1 when the list is not available.
long CountListedHandles(DWORD processId) {
  auto query = reinterpret_cast<QuerySystem>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<BYTE> buffer(1 << 20);
  NTSTATUS status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
             kInfoLengthMismatch &&
         buffer.size() < (64u << 20))
    buffer.resize(buffer.size() * 2);
  if (status != 0) return -1;
  const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
  long count = 0;
  for (ULONG i = 0; i < list->count; ++i) count += list->entries[i].ownerProcess == processId ? 1 : 0;
  return count;
}

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
  if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(), entries.size(), &got) ||
      got != entries.size())
    return -1;
  long count = 0;
  for (size_t i = 0; i < kGdiEntries; ++i)
    if (entries[i * kGdiEntrySize + kGdiTypeOffset] != 0) ++count;
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

// RssAnon of the Wine process that runs this one, in bytes; 0 when unreadable.
uint64_t OwnAnonymousResidentBytes() {
  std::unique_ptr<FILE, int (*)(FILE*)> status(_wfopen(L"Z:\\proc\\self\\status", L"rb"), std::fclose);
  if (!status) return 0;
  char line[256];
  while (std::fgets(line, sizeof line, status.get()))
    if (std::strncmp(line, "RssAnon:", 8) == 0) return std::strtoull(line + 8, nullptr, 10) * 1024;
  return 0;
}

}  // namespace

ResourceCounts CountResources(HANDLE process) {
  ResourceCounts c;
  const long handles = CountListedHandles(::GetProcessId(process));
  c.kernelHandles = handles < 0 ? 0 : static_cast<uint32_t>(handles);
  const long gdi = CountGdiTableEntries(process);
  c.gdiObjects = gdi < 0 ? 0 : static_cast<uint32_t>(gdi);
  WindowCount windows{::GetProcessId(process), 0};
  ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  c.windows = windows.count;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
    c.privateBytes = memory.PrivateUsage;
  if (c.privateBytes == 0 && ::GetProcessId(process) == ::GetCurrentProcessId())
    c.privateBytes = OwnAnonymousResidentBytes();
  return c;
}

}  // namespace sitemon_test
