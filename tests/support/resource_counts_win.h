#pragma once
// Counts of a process's resources for leak checks, of this process or of another one. Wine
// answers GetProcessHandleCount and GetGuiResources with 0, so the counts are taken otherwise:
//  - kernel handles: the process's entries in the system's handle list (NtQuerySystemInformation);
//  - GDI objects: the in-use entries of the process's GDI handle table (its PEB points to it);
//  - windows: top-level and child windows whose owner is the process;
//  - private bytes: GetProcessMemoryInfo's PrivateUsage; for this process under Wine, which
//    leaves that at 0, the anonymous resident memory of the Wine process (RssAnon of
//    /proc/self/status, read through the Z: drive).
#include <windows.h>

#include <cstdint>

namespace sitemon_test {

struct ResourceCounts {
  uint32_t kernelHandles = 0;  // 0 when the handle list could not be read
  uint32_t gdiObjects = 0;     // 0 when the GDI table could not be read
  uint32_t windows = 0;
  uint64_t privateBytes = 0;   // 0 when not available
};

// `process` needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
ResourceCounts CountResources(HANDLE process = ::GetCurrentProcess());

}  // namespace sitemon_test
