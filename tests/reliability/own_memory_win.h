#pragma once
// Private memory of the calling process, in bytes: GetProcessMemoryInfo's PrivateUsage, or under
// Wine, which leaves that at 0, the anonymous resident memory of the Wine process (RssAnon of
// /proc/self/status, read through the Z: drive). 0 when neither is available.
#include <cstdint>

uint64_t OwnPrivateBytes();
