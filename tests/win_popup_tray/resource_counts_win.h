#pragma once
// This process's GDI objects, window-manager objects and kernel handles, for leak checks.
// Wine answers GetGuiResources and GetProcessHandleCount with 0; there the counts come from
// probing: every GDI handle index and every kernel handle value is asked for its object.
#include <windows.h>

#include <string>

struct ResourceCounts {
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;  // windows of this process when the system does not count them
  DWORD kernelHandles = 0;
  std::string how;        // which way each count was taken
};

ResourceCounts CountResources();
