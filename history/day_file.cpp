#include "history/day_file.h"

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Exactly `count` digits at text[at].
std::optional<int> Digits(U16View text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - u'0');
  }
  return value;
}

}  // namespace

// The days-from-civil algorithm (H. Hinnant): whole eras of 400 years, then the year of the era
// counted from March, so the leap day comes last.
int64_t DayNumber(const DayDate& date) {
  const int64_t y = static_cast<int64_t>(date.year) - (date.month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t monthFromMarch = date.month > 2 ? date.month - 3 : date.month + 9;
  const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + date.day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

DayDate DateOfDayNumber(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<int>(year), month, day};
}

bool IsValidDate(const DayDate& date) {
  if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1) return false;
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = date.year % 4 == 0 && (date.year % 100 != 0 || date.year % 400 == 0);
  return date.day <= kDays[date.month - 1] + (date.month == 2 && leap ? 1 : 0);
}

U16 DayFileName(const DayDate& date) {
  U16 name = U16Padded(date.year, 4, true);
  name += u'-';
  name += U16Padded(date.month, 2, true);
  name += u'-';
  name += U16Padded(date.day, 2, true);
  name += u".log";
  return name;
}

std::optional<DayDate> DateOfDayFileName(U16View name) {
  if (name.size() != 14 || name[4] != u'-' || name[7] != u'-' || name.substr(10) != u".log") return std::nullopt;
  const auto year = Digits(name, 0, 4);
  const auto month = Digits(name, 5, 2);
  const auto day = Digits(name, 8, 2);
  if (!year || !month || !day) return std::nullopt;
  const DayDate date{*year, *month, *day};
  if (!IsValidDate(date)) return std::nullopt;
  return date;
}
