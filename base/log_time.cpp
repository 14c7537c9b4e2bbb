#include "base/log_time.h"

U16 FormatLogTime(const LocalTime& t) {
  U16 s = U16Padded(t.year, 4, false);
  s += u'-';
  s += U16Decimal(t.month);
  s += u'-';
  s += U16Decimal(t.day);
  s += u' ';
  s += U16Padded(t.hour, 2, true);
  s += u':';
  s += U16Padded(t.minute, 2, true);
  s += u':';
  s += U16Padded(t.second, 2, true);
  return s;
}
