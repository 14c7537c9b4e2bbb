#pragma once
// Posted by the alerts' sender thread to the window that shows the run log when rows wait to be
// taken (AlertEngine::TakeRows); no parameters. WM_USER + 7.
#include <cstdint>

inline constexpr uint32_t kAlertRowsMessage = 0x0400 + 7;
