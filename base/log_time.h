#pragma once
// The local time a log row is stamped with, and the stamp's text.
#include "base/utf16.h"

struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// "%4d-%d-%d %02d:%02d:%02d": year right-aligned in four places, month and day without leading
// zeros, the time fields with two digits.
U16 FormatLogTime(const LocalTime& t);
