#pragma once
// The message through which the notice thread reaches the main window, and its kinds.
// Kept free of <windows.h> so the portable logic and its tests can use the same numbers.
#include <cstdint>

// WM_USER + 6. Word parameter: the kind; long parameter: see the kinds.
constexpr uint32_t WM_SERVICE_NOTICE = 0x0400 + 6;

enum ServiceNoticeKind : int32_t {
  kNoticeText = 100,       // long parameter: the notice text (wide, zero-terminated); sent
  kUpdateAvailable = 120,  // long parameter: 0; also sent, so it is handled before the notice
};
