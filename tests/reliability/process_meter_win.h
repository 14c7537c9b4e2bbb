#pragma once
// Counts of another process's resources, taken from outside, for leak checks. Wine answers
// GetProcessHandleCount and GetGuiResources with 0, so the counts are probed instead:
//  - kernel handles: every handle value is tried with DuplicateHandle from the process;
//  - GDI objects: the in-use entries of the process's GDI handle table (its PEB points to it);
//  - windows: top-level and child windows whose owner is the process.
#include <windows.h>

#include <cstdint>

struct ProcessCounts {
  uint32_t kernelHandles = 0;
  uint32_t gdiObjects = 0;      // 0 when the table could not be read
  uint32_t windows = 0;
  uint64_t privateBytes = 0;    // GetProcessMemoryInfo's PrivateUsage; 0 when not available
};

// process needs PROCESS_DUP_HANDLE, PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
ProcessCounts CountProcessResources(HANDLE process);

// In-use entries of the GDI handle table that the process's PEB points to; -1 when unreadable.
long CountGdiTableEntries(HANDLE process);
