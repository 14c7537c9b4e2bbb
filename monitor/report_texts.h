#pragma once
// Fixed texts that run control and the status handler both show.
#include "base/utf16.h"

inline constexpr U16View kPopupTitle = u"Dorvane提示";
inline constexpr U16View kTrayTipName = u"Dorvane网站监控";
