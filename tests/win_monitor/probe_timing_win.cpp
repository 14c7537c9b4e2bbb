// Times the worker's WinINet probe: probe_timing <url> [count]. Prints each probe's status and
// milliseconds, then the median. A measuring aid, not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "monitor/probe_worker_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: probe_timing <url> [count]\n");
    return 2;
  }
  const int count = argc > 2 ? std::max(1, _wtoi(argv[2])) : 20;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    const HttpProbeResult r = ProbeUrlWinInet(argv[1]);
    QueryPerformanceCounter(&b);
    ms.push_back(1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart));
    std::printf("probe %d outcome %d status %s %.2f ms\n", i, static_cast<int>(r.outcome),
                Utf8FromU16(r.statusText).c_str(), ms.back());
  }
  std::sort(ms.begin(), ms.end());
  const double median = count % 2 ? ms[count / 2] : (ms[count / 2 - 1] + ms[count / 2]) / 2;
  std::printf("median %.2f ms over %d probes\n", median, count);
  return 0;
}
