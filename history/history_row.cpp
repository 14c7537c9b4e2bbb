#include "history/history_row.h"

#include <algorithm>
#include <array>

#include "base/status_texts.h"
#include "history/byte_search.h"
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

// `least` to `most` digits at row[at]; advances `at`. -1 when fewer than `least`.
int Number(std::string_view row, size_t& at, size_t least, size_t most) {
  int value = 0;
  size_t count = 0;
  while (at < row.size() && count < most && IsDigit(row[at])) {
    value = value * 10 + (row[at++] - '0');
    ++count;
  }
  return count < least ? -1 : value;
}

bool Take(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// Byte by byte: the words are a few bytes long, shorter than a call to compare them.
bool TakeWord(std::string_view text, size_t& at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (text[at + i] != word[i]) return false;
  at += word.size();
  return true;
}

// A decimal integer up to the next blank or the end, in one pass: in the signed form a '+' or '-'
// first; then at most 18 characters, an optional '-' and at least one digit.
template <typename Int>
bool TakeInteger(std::string_view text, size_t& at, Int& value, bool signedForm) {
  size_t i = at;
  bool negative = false;
  if (signedForm) {
    if (i >= text.size() || (text[i] != '+' && text[i] != '-')) return false;
    negative = text[i++] == '-';
  }
  const size_t first = i;
  const bool minus = i < text.size() && text[i] == '-';
  if (minus) ++i;
  int64_t parsed = 0;
  const size_t digitsFrom = i;
  const size_t limit = std::min(text.size(), first + 18);
  // Eight at a time while eight bytes are left before the limit, then one at a time.
  static constexpr int64_t kTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  while (limit - i >= 8) {
    const uint64_t word = byte_search::Word(text.data() + i);
    const unsigned digits = byte_search::LeadingDigits(word);
    if (digits == 0) break;
    parsed = parsed * kTens[digits] + static_cast<int64_t>(byte_search::DigitsValue(word, digits));
    i += digits;
    if (digits < 8) break;
  }
  while (i < limit && IsDigit(text[i])) parsed = parsed * 10 + (text[i++] - '0');
  if (i == digitsFrom || (i < text.size() && text[i] != ' ')) return false;
  if (minus) parsed = -parsed;
  value = static_cast<Int>(negative ? -parsed : parsed);
  at = i;
  return true;
}

// "~ run=" and a run of at most 64 bytes, three numbers of at most 19 characters with their
// names, and " carry".
constexpr size_t kFactsLimit = 6 + 64 + 3 * (3 + 19) + 6;

// Fills `facts` as it reads; false when the text is not the facts.
bool ReadFacts(std::string_view text, LineFacts& facts) {
  size_t at = 0;
  if (!TakeWord(text, at, "~ run=")) return false;
  const size_t blank = FirstByte(BytesFrom(text, at), ' ');
  if (blank == std::string_view::npos || blank == 0 || blank > 64) return false;
  const size_t runEnd = at + blank;
  facts.run = Bytes(text, at, blank);
  if (facts.run[0] != 'W' && facts.run[0] != 'C') return false;
  at = runEnd;
  if (!TakeWord(text, at, " t=") || !TakeInteger(text, at, facts.t, false)) return false;
  if (!TakeWord(text, at, " u=") || !TakeInteger(text, at, facts.utc, false)) return false;
  if (!TakeWord(text, at, " z=") || !TakeInteger(text, at, facts.zoneMinutes, true)) return false;
  if (facts.zoneMinutes < -16 * 60 || facts.zoneMinutes > 16 * 60) return false;
  if (at == text.size()) return true;
  if (!SameBytes(BytesFrom(text, at), kCarrySuffix)) return false;
  facts.carry = true;
  return true;
}

}  // namespace

std::string FormatLineFacts(std::string_view run, int64_t t, int64_t utc, int zoneMinutes) {
  std::string facts = "\t~ run=";
  facts += run;
  facts += " t=" + std::to_string(t) + " u=" + std::to_string(utc) + " z=" + (zoneMinutes < 0 ? "-" : "+") +
           std::to_string(zoneMinutes < 0 ? -zoneMinutes : zoneMinutes);
  return facts;
}

HistoryLine SplitHistoryLine(const std::string_view& line) {
  // The facts follow the last TAB and are never longer than kFactsLimit: a TAB further back leaves
  // facts that cannot be read, so the search stops there.
  const size_t stop = line.size() > kFactsLimit + 1 ? line.size() - kFactsLimit - 1 : 0;
  const size_t tab = LastByte(line, '\t', stop);
  // Filled in place: a copy of the facts costs more than reading them.
  HistoryLine split{line, std::nullopt};
  if (tab != std::string_view::npos) {
    if (ReadFacts(BytesFrom(line, tab + 1), split.facts.emplace()))
      split.row = Bytes(line, 0, tab);
    else
      split.facts.reset();
  }
  return split;
}

std::optional<LocalTime> RowStamp(const std::string_view& row, size_t* stampBytes) {
  size_t at = 0;
  while (at < 3 && at < row.size() && row[at] == ' ') ++at;  // the year is right-aligned in four places
  const int year = Number(row, at, 1, 4);
  if (year < 0 || at != 4 || !Take(row, at, '-')) return std::nullopt;
  const int month = Number(row, at, 1, 2);
  if (month < 0 || !Take(row, at, '-')) return std::nullopt;
  const int day = Number(row, at, 1, 2);
  if (day < 0 || !Take(row, at, ' ')) return std::nullopt;
  // "HH:MM:SS" and its blank, the eight bytes as one word: its colons where they belong and,
  // with them read as zeros, eight digits.
  if (row.size() - at < 9 || row[at + 8] != ' ') return std::nullopt;
  constexpr uint64_t kColonBytes = (uint64_t{0xFF} << 16) | (uint64_t{0xFF} << 40);
  const uint64_t clock = byte_search::Word(row.data() + at);
  if ((clock & kColonBytes) != (byte_search::kOnes * ':' & kColonBytes)) return std::nullopt;
  const uint64_t digits = (clock & ~kColonBytes) | (byte_search::kOnes * '0' & kColonBytes);
  if (byte_search::LeadingDigits(digits) != 8) return std::nullopt;
  const uint64_t value = digits - byte_search::kOnes * '0';
  const auto pair = [value](int first) {
    return static_cast<int>((value >> (8 * first)) & 0xFF) * 10 + static_cast<int>((value >> (8 * first + 8)) & 0xFF);
  };
  const int hour = pair(0), minute = pair(3), second = pair(6);
  at += 9;
  // Every month has its 28th: only a later day needs the calendar.
  const bool dateValid =
      year >= 1 && month >= 1 && month <= 12 && day >= 1 && (day <= 28 || IsValidDate({year, month, day}));
  if (!dateValid || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  if (stampBytes != nullptr) *stampBytes = at;
  return LocalTime{year, month, day, hour, minute, second};
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

HistoryRow ReadHistoryRow(const std::string_view& row) {
  HistoryRow read;
  if (SameBytes(row, BareUnknownText())) {
    read.kind = HistoryRow::BareUnknown;
    read.statusText = row;
    return read;
  }
  size_t stampBytes = 0;
  read.stamp = RowStamp(row, &stampBytes);
  if (!read.stamp) return read;
  const std::string_view rest = BytesFrom(row, stampBytes);
  for (const Marker& marker : Markers()) {
    if (SameBytes(rest, marker.utf8)) {
      read.kind = marker.kind;
      return read;
    }
  }
  // "<address> <status text>": the address is whatever lies between, blanks included.
  for (const SiteStatus& status : SiteStatuses()) {
    if (rest.size() > status.utf8.size() && EndsWithBytes(rest, status.utf8)) {
      read.kind = HistoryRow::Site;
      read.address = Bytes(rest, 0, rest.size() - status.utf8.size());
      read.statusText = BytesFrom(rest, rest.size() - status.utf8.size() + 1);
      read.state = status.state;
      return read;
    }
  }
  return read;
}
