#include "monitor/run_flags.h"

std::atomic<int32_t> g_stopRequested{0};
std::atomic<int32_t> g_exitRequested{0};
