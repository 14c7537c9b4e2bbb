#include "shell/dpi_scale.h"

#include <cstdint>

int ScaleToDpi(int pixels, int dpi) {
  if (dpi <= 0 || dpi == kStandardDpi) return pixels;
  const int64_t product = static_cast<int64_t>(pixels) * dpi;
  const int64_t half = kStandardDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kStandardDpi : (product - half) / kStandardDpi);
}
