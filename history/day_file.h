#pragma once
// The history's day files: "YYYY-MM-DD.log" in the GetLog folder, one for each local date, and
// the calendar arithmetic the names and the retention need.
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/utf16.h"

// A day file begins with the UTF-8 byte order mark.
inline constexpr std::string_view kDayFileMark = "\xEF\xBB\xBF";

struct DayDate {
  int year = 0;
  int month = 0;
  int day = 0;
  bool operator==(const DayDate&) const = default;
};

// Days since 1970-01-01 of the proleptic Gregorian calendar (negative before it).
int64_t DayNumber(const DayDate& date);
DayDate DateOfDayNumber(int64_t days);
// False for a month or day that does not exist, or a year outside 1..9999.
bool IsValidDate(const DayDate& date);

// "2026-12-08.log"
U16 DayFileName(const DayDate& date);
// The date a file is named after; nullopt for any name that is not exactly a day file's.
std::optional<DayDate> DateOfDayFileName(U16View name);
