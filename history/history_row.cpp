#include "history/history_row.h"

#include "history/day_file.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct SiteStatus {
  const char16_t* text;
  RowState state;
};

// The site rows' status texts and the state each leaves its site in.
const SiteStatus kSiteStatuses[] = {
    {u"访问正常", RowState::Up},
    {u"当前网页300跳转", RowState::Up},
    {u"网页不存在", RowState::Down},
    {u"网站服务器，内部发生错误500", RowState::Down},
    {u"不能访问网站，可能本机不能上网，或网站故障", RowState::Down},
    {u"临时响应", RowState::NotKnown},
    {u"http未知状态", RowState::NotKnown},
    {u"本地网络始初化失败", RowState::NotKnown},
};

struct Marker {
  const char16_t* text;
  HistoryRow::Kind kind;
};

const Marker kMarkers[] = {
    {u"本机网络断线，请检查网线是否插好", HistoryRow::NetworkDown},
    {u"本机网络恢复正常", HistoryRow::NetworkUp},
    {u"监控开始运行", HistoryRow::RunStart},
    {u"监控停止!", HistoryRow::RunStop},
    {u"软件启动", HistoryRow::ProgramStart},
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// 1 to `most` digits at row[at]; advances `at`.
std::optional<int> Number(U16View row, size_t& at, size_t least, size_t most) {
  int value = 0;
  size_t count = 0;
  while (at < row.size() && count < most && IsDigit(row[at])) {
    value = value * 10 + (row[at++] - u'0');
    ++count;
  }
  if (count < least) return std::nullopt;
  return value;
}

bool Take(U16View row, size_t& at, char16_t c) {
  if (at >= row.size() || row[at] != c) return false;
  ++at;
  return true;
}

}  // namespace

std::vector<std::string_view> DayFileLines(std::string_view bytes) {
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
  std::vector<std::string_view> lines;
  for (size_t end; (end = bytes.find('\n')) != std::string_view::npos; bytes.remove_prefix(end + 1)) {
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Two programs that both created the file each wrote a mark; the second one starts a row.
    if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
    lines.push_back(line);
  }
  return lines;
}

std::optional<LocalTime> RowStamp(U16View row, size_t* stampUnits) {
  size_t at = 0;
  while (at < 3 && at < row.size() && row[at] == u' ') ++at;  // the year is right-aligned in four places
  LocalTime t;
  const auto year = Number(row, at, 1, 4);
  if (!year || at != 4 || !Take(row, at, u'-')) return std::nullopt;
  const auto month = Number(row, at, 1, 2);
  if (!month || !Take(row, at, u'-')) return std::nullopt;
  const auto day = Number(row, at, 1, 2);
  if (!day || !Take(row, at, u' ')) return std::nullopt;
  const auto hour = Number(row, at, 2, 2);
  if (!hour || !Take(row, at, u':')) return std::nullopt;
  const auto minute = Number(row, at, 2, 2);
  if (!minute || !Take(row, at, u':')) return std::nullopt;
  const auto second = Number(row, at, 2, 2);
  if (!second || !Take(row, at, u' ')) return std::nullopt;
  if (!IsValidDate({*year, *month, *day}) || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  t = {*year, *month, *day, *hour, *minute, *second};
  if (stampUnits != nullptr) *stampUnits = at;
  return t;
}

int64_t SecondsOf(const LocalTime& t) {
  return DayNumber({t.year, t.month, t.day}) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::optional<HistoryRow> ReadHistoryRow(std::string_view utf8) {
  const U16 row = U16FromUtf8(utf8);
  size_t stampUnits = 0;
  const std::optional<LocalTime> time = RowStamp(row, &stampUnits);
  if (!time) return std::nullopt;
  HistoryRow read;
  read.time = *time;
  read.seconds = SecondsOf(*time);
  const U16View rest = U16View(row).substr(stampUnits);
  for (const Marker& marker : kMarkers) {
    if (rest == marker.text) {
      read.kind = marker.kind;
      return read;
    }
  }
  // "<address> <status text>": the address is whatever lies between, blanks included.
  for (const SiteStatus& status : kSiteStatuses) {
    const U16View text(status.text);
    if (rest.size() > text.size() && rest.substr(rest.size() - text.size()) == text &&
        rest[rest.size() - text.size() - 1] == u' ') {
      read.kind = HistoryRow::Site;
      read.address = U16(rest.substr(0, rest.size() - text.size() - 1));
      read.statusText = U16(text);
      read.state = status.state;
      return read;
    }
  }
  return read;
}
