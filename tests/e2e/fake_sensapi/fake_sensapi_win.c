/* A stand-in for the system's sensapi.dll, for end-to-end runs only: the local network reads as
 * down while the file C:\sitemon-e2e-network-down exists. Wine's own IsNetworkAlive always
 * answers "a LAN is up", so without this the program's network watch could not be seen at work.
 * The test puts this DLL beside a copy of SiteMonitor.exe and prefers it to the built-in one
 * (WINEDLLOVERRIDES=sensapi=n,b). */
#include <windows.h>

#define FAKE_NETWORK_ALIVE_LAN 1

static BOOL NetworkUp(void) {
  return GetFileAttributesW(L"C:\\sitemon-e2e-network-down") == INVALID_FILE_ATTRIBUTES;
}

__declspec(dllexport) BOOL WINAPI IsNetworkAlive(LPDWORD flags) {
  const BOOL up = NetworkUp();
  if (flags) *flags = up ? FAKE_NETWORK_ALIVE_LAN : 0;
  return up;
}

__declspec(dllexport) BOOL WINAPI IsDestinationReachableW(LPCWSTR destination, LPVOID quality) {
  (void)destination;
  (void)quality;
  return NetworkUp();
}

__declspec(dllexport) BOOL WINAPI IsDestinationReachableA(LPCSTR destination, LPVOID quality) {
  (void)destination;
  (void)quality;
  return NetworkUp();
}
