#include "history/history_row.h"

#include <array>
#include <charconv>

#include "base/status_texts.h"
#include "history/day_file.h"

namespace {

struct SiteStatus {
  std::string utf8;  // " <text>": the blank that ends the address, then the text
  RowState state;
};

struct Marker {
  std::string utf8;
  HistoryRow::Kind kind;
};

std::string Spaced(U16View text) {
  std::string spaced(1, ' ');
  spaced += Utf8FromU16(text);
  return spaced;
}

// The site rows' status texts and the state each leaves its site in.
const std::array<SiteStatus, 8>& SiteStatuses() {
  static const std::array<SiteStatus, 8> statuses{{
      {Spaced(kTextSuccess), RowState::Up},
      {Spaced(kTextRedirect), RowState::Up},
      {Spaced(kTextClientError), RowState::Down},
      {Spaced(kTextServerError), RowState::Down},
      {Spaced(kTextUnreachable), RowState::Down},
      {Spaced(kTextInterim), RowState::NotKnown},
      {Spaced(kTextUnknownHttp), RowState::NotKnown},
      {Spaced(kTextNoInternetHandle), RowState::NotKnown},
  }};
  return statuses;
}

const std::array<Marker, 5>& Markers() {
  static const std::array<Marker, 5> markers{{
      {Utf8FromU16(kTextNetworkDown), HistoryRow::NetworkDown},
      {Utf8FromU16(kTextNetworkBack), HistoryRow::NetworkUp},
      {Utf8FromU16(kTextRunStart), HistoryRow::RunStart},
      {Utf8FromU16(kTextRunStop), HistoryRow::RunStop},
      {Utf8FromU16(kTextProgramStart), HistoryRow::ProgramStart},
  }};
  return markers;
}

const std::string& BareUnknownText() {
  static const std::string text = Utf8FromU16(kTextUnknown);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// `least` to `most` digits at row[at]; advances `at`.
std::optional<int> Number(std::string_view row, size_t& at, size_t least, size_t most) {
  int value = 0;
  size_t count = 0;
  while (at < row.size() && count < most && IsDigit(row[at])) {
    value = value * 10 + (row[at++] - '0');
    ++count;
  }
  if (count < least) return std::nullopt;
  return value;
}

bool Take(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

bool TakeWord(std::string_view text, size_t& at, std::string_view word) {
  if (text.substr(at, word.size()) != word) return false;
  at += word.size();
  return true;
}

// A decimal integer (optionally signed) up to the next blank or the end.
template <typename Int>
bool TakeInteger(std::string_view text, size_t& at, Int& value, bool signedForm) {
  size_t end = text.find(' ', at);
  if (end == std::string_view::npos) end = text.size();
  std::string_view digits = text.substr(at, end - at);
  bool negative = false;
  if (signedForm) {
    if (digits.empty() || (digits[0] != '+' && digits[0] != '-')) return false;
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits.size() > 18) return false;
  int64_t parsed = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) return false;
  value = static_cast<Int>(negative ? -parsed : parsed);
  at = end;
  return true;
}

std::optional<LineFacts> ReadFacts(std::string_view text) {
  LineFacts facts;
  size_t at = 0;
  if (!TakeWord(text, at, "~ run=")) return std::nullopt;
  const size_t runEnd = text.find(' ', at);
  if (runEnd == std::string_view::npos || runEnd == at || runEnd - at > 64) return std::nullopt;
  facts.run = text.substr(at, runEnd - at);
  if (facts.run[0] != 'W' && facts.run[0] != 'C') return std::nullopt;
  at = runEnd;
  if (!TakeWord(text, at, " t=") || !TakeInteger(text, at, facts.t, false)) return std::nullopt;
  if (!TakeWord(text, at, " u=") || !TakeInteger(text, at, facts.utc, false)) return std::nullopt;
  if (!TakeWord(text, at, " z=") || !TakeInteger(text, at, facts.zoneMinutes, true)) return std::nullopt;
  if (facts.zoneMinutes < -16 * 60 || facts.zoneMinutes > 16 * 60) return std::nullopt;
  if (at == text.size()) return facts;
  if (text.substr(at) != kCarrySuffix) return std::nullopt;
  facts.carry = true;
  return facts;
}

}  // namespace

std::string FormatLineFacts(std::string_view run, int64_t t, int64_t utc, int zoneMinutes) {
  std::string facts = "\t~ run=";
  facts += run;
  facts += " t=" + std::to_string(t) + " u=" + std::to_string(utc) + " z=" + (zoneMinutes < 0 ? "-" : "+") +
           std::to_string(zoneMinutes < 0 ? -zoneMinutes : zoneMinutes);
  return facts;
}

HistoryLine SplitHistoryLine(std::string_view line) {
  const size_t tab = line.rfind('\t');
  if (tab != std::string_view::npos) {
    if (std::optional<LineFacts> facts = ReadFacts(line.substr(tab + 1))) return {line.substr(0, tab), facts};
  }
  return {line, std::nullopt};
}

std::optional<LocalTime> RowStamp(std::string_view row, size_t* stampBytes) {
  size_t at = 0;
  while (at < 3 && at < row.size() && row[at] == ' ') ++at;  // the year is right-aligned in four places
  const auto year = Number(row, at, 1, 4);
  if (!year || at != 4 || !Take(row, at, '-')) return std::nullopt;
  const auto month = Number(row, at, 1, 2);
  if (!month || !Take(row, at, '-')) return std::nullopt;
  const auto day = Number(row, at, 1, 2);
  if (!day || !Take(row, at, ' ')) return std::nullopt;
  const auto hour = Number(row, at, 2, 2);
  if (!hour || !Take(row, at, ':')) return std::nullopt;
  const auto minute = Number(row, at, 2, 2);
  if (!minute || !Take(row, at, ':')) return std::nullopt;
  const auto second = Number(row, at, 2, 2);
  if (!second || !Take(row, at, ' ')) return std::nullopt;
  if (!IsValidDate({*year, *month, *day}) || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  if (stampBytes != nullptr) *stampBytes = at;
  return LocalTime{*year, *month, *day, *hour, *minute, *second};
}

int64_t SecondsOf(const LocalTime& t) {
  return DayNumber({t.year, t.month, t.day}) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

LocalTime LocalTimeOfSeconds(int64_t seconds) {
  const int64_t day = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const DayDate date = DateOfDayNumber(day);
  const int64_t inDay = seconds - day * 86400;
  return {date.year, date.month, date.day, static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
          static_cast<int>(inDay % 60)};
}

HistoryRow ReadHistoryRow(std::string_view row) {
  HistoryRow read;
  if (row == BareUnknownText()) {
    read.kind = HistoryRow::BareUnknown;
    read.statusText = row;
    return read;
  }
  size_t stampBytes = 0;
  read.stamp = RowStamp(row, &stampBytes);
  if (!read.stamp) return read;
  const std::string_view rest = row.substr(stampBytes);
  for (const Marker& marker : Markers()) {
    if (rest == marker.utf8) {
      read.kind = marker.kind;
      return read;
    }
  }
  // "<address> <status text>": the address is whatever lies between, blanks included.
  for (const SiteStatus& status : SiteStatuses()) {
    if (rest.size() > status.utf8.size() && rest.substr(rest.size() - status.utf8.size()) == status.utf8) {
      read.kind = HistoryRow::Site;
      read.address = rest.substr(0, rest.size() - status.utf8.size());
      read.statusText = rest.substr(rest.size() - status.utf8.size() + 1);
      read.state = status.state;
      return read;
    }
  }
  return read;
}
