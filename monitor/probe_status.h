#pragma once
// What a probe worker reports: the HTTP status code of the answer as read (0 when no code could be
// read), or one of the internal codes below 100, where no HTTP status code lies.
#include <cstdint>

using ProbeStatus = int32_t;

inline constexpr ProbeStatus kStatusUnreadable = 0;        // answer without a readable status code
inline constexpr ProbeStatus kStatusWorkerEnded = 9;       // the worker's last report, sent
inline constexpr ProbeStatus kStatusNetworkDown = 10;      // the local network is down
inline constexpr ProbeStatus kStatusNetworkBack = 11;      // the local network is back
inline constexpr ProbeStatus kStatusNoInternetHandle = 21; // recorded and traced, never posted
inline constexpr ProbeStatus kStatusUrlNotOpened = 22;     // the address could not be opened

// A probe succeeded for 2xx and 3xx answers and failed for 4xx, 5xx and 0; for any other status
// (1 to 199, 600 and above) it succeeded exactly when the status query succeeded.
constexpr bool IsProbeSuccess(ProbeStatus status, bool queryOk) {
  // No status code is no proper answer, whatever the query said: WinINet reads a connection
  // closed without a byte as an answer with status "0".
  if (status == kStatusUnreadable) return false;
  const int32_t statusClass = status / 100;
  if (statusClass == 2 || statusClass == 3) return true;
  if (statusClass == 4 || statusClass == 5) return false;
  return queryOk;
}
