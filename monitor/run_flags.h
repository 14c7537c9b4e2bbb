#pragma once
// The two process-wide flags, written only by the main window's thread and polled by the
// workers and the notice check. They carry no data, so relaxed ordering is enough.
#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> g_stopRequested;
extern std::atomic<int32_t> g_exitRequested;

inline bool StopRequested() { return g_stopRequested.load(std::memory_order_relaxed) != 0; }
inline bool ExitRequested() { return g_exitRequested.load(std::memory_order_relaxed) != 0; }
inline void SetStopRequested(int32_t v) { g_stopRequested.store(v, std::memory_order_relaxed); }
inline void SetExitRequested(int32_t v) { g_exitRequested.store(v, std::memory_order_relaxed); }
