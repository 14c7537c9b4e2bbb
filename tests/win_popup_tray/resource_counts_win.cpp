#include "tests/win_popup_tray/resource_counts_win.h"

namespace {

DWORD ProbeGdiObjects() {
  // Wine accepts a GDI handle by its table index alone (high word 0).
  DWORD count = 0;
  for (ULONG_PTR index = 1; index <= 0xFFFF; ++index)
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
  return count;
}

DWORD ProbeKernelHandles() {
  DWORD count = 0;
  for (ULONG_PTR value = 4; value <= 0x8000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM param) {
  ++*reinterpret_cast<DWORD*>(param);
  return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM param) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId()) return TRUE;
  auto* count = reinterpret_cast<DWORD*>(param);
  ++*count;
  ::EnumChildWindows(window, CountChild, param);
  return TRUE;
}

DWORD CountOwnWindows() {
  DWORD count = 0;
  ::EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace

ResourceCounts CountResources() {
  ResourceCounts c;
  c.gdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (c.gdiObjects == 0) {
    c.gdiObjects = ProbeGdiObjects();
    c.how += "GDI objects by handle probe; ";
  } else {
    c.how += "GDI objects by GetGuiResources; ";
  }
  c.userObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  if (c.userObjects == 0) {
    c.userObjects = CountOwnWindows();
    c.how += "windows by enumeration; ";
  } else {
    c.how += "user objects by GetGuiResources; ";
  }
  if (!::GetProcessHandleCount(::GetCurrentProcess(), &c.kernelHandles) || c.kernelHandles == 0) {
    c.kernelHandles = ProbeKernelHandles();
    c.how += "handles by probe";
  } else {
    c.how += "handles by GetProcessHandleCount";
  }
  return c;
}
