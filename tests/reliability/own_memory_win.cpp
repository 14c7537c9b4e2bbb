#include "tests/reliability/own_memory_win.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

uint64_t OwnPrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory) && memory.PrivateUsage != 0)
    return memory.PrivateUsage;
  FILE* status = _wfopen(L"Z:\\proc\\self\\status", L"rb");
  if (!status) return 0;
  char line[256];
  uint64_t kib = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "RssAnon:", 8) == 0) {
      kib = std::strtoull(line + 8, nullptr, 10);
      break;
    }
  }
  std::fclose(status);
  return kib * 1024;
}
