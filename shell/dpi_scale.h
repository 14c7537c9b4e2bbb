#pragma once
// Sizes given in pixels at the standard 96 DPI, turned into pixels at a monitor's DPI the way
// MulDiv does it (rounded to the nearest pixel, halves away from zero). At 96 DPI every size
// stays what it was.
constexpr int kStandardDpi = 96;

// `pixels` at 96 DPI, in pixels at `dpi`; a DPI that is not positive counts as 96.
int ScaleToDpi(int pixels, int dpi);
