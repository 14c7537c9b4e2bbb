// The writer on a folder in memory: its lines, the folder's faults it mends, and the pruning
// under a wrong clock.
#include <gtest/gtest.h>

#include "history/byte_search.h"
#include "history/day_file.h"
#include "tests/history/history_support.h"

namespace {

std::vector<U16> Names(const MemoryDisk& folder) {
  std::vector<U16> names;
  for (const auto& [name, bytes] : folder.files) names.push_back(name);
  return names;
}

}  // namespace

TEST(DayFiles, NamesAndDatesOnlyRealDaysAreDayFiles) {
  EXPECT_EQ(DayNumber({2026, 12, 8}) - DayNumber({2026, 9, 9}), 90);
  EXPECT_EQ(DateOfDayNumber(DayNumber({2024, 2, 29}) + 1), (DayDate{2024, 3, 1}));
  EXPECT_EQ(DayFileName({2026, 3, 7}), u"2026-03-07.log");
  for (U16View foreign : {u"2100-02-29.log", u"2026-13-01.log", u"2026-1-01.log", u"2026-01-01.log.bak",
                          u"2026-01-01.log.12.new", u"notes.txt", u""})
    EXPECT_FALSE(DateOfDayFileName(foreign)) << Utf8FromU16(foreign);
}

// The facts read on the edges of their numbers, the last TAB deciding; stamps on real days only.
TEST(HistoryLines, FactsAreReadOnTheEdgesOfTheirNumbersAndStampsOnRealDaysOnly) {
  auto t = [](const std::string& facts) -> std::optional<int64_t> {
    const std::string text = "a\t~ run=W-1 " + facts;
    const HistoryLine line = SplitHistoryLine(text);
    if (!line.facts) return std::nullopt;
    EXPECT_EQ(line.row, "a");
    return line.facts->t;
  };
  EXPECT_EQ(t("t=-5 u=2 z=+0"), -5);
  EXPECT_EQ(t("t=123456789012345678 u=2 z=+0"), 123456789012345678);
  EXPECT_EQ(t("t=-12345678901234567 u=2 z=+0"), -12345678901234567);
  for (const char* refused : {"t=1234567890123456789 u=2 z=+0", "t=-123456789012345678 u=2 z=+0", "t= u=2 z=+0",
                              "t=- u=2 z=+0", "t=+5 u=2 z=+0", "t=5x u=2 z=+0", "t=5 u=2 z=+0 ", "t=5 u=2 z=+961"})
    EXPECT_FALSE(t(refused)) << refused;
  EXPECT_EQ(SplitHistoryLine("a\t~ run=W-1 t=1 u=2 z=+-5").facts->zoneMinutes, -5);
  EXPECT_EQ(SplitHistoryLine("a\t~ run=W-1 t=1 u=2 z=--5").facts->zoneMinutes, 5);
  EXPECT_EQ(SplitHistoryLine("a\tb\t~ run=W-1 t=1 u=2 z=+0").row, "a\tb");
  EXPECT_FALSE(SplitHistoryLine("a\t~ run=W-1 t=1 u=2 z=+0\tb").facts);
  // The longest facts there can be.
  const std::string longest = "a\t~ run=W" + std::string(63, 'x') + " t=123456789012345678 u=-12345678901234567" +
                              " z=+-00000000000000960 carry";
  ASSERT_TRUE(SplitHistoryLine(longest).facts);
  EXPECT_EQ(SplitHistoryLine(longest).facts->zoneMinutes, -960);

  EXPECT_TRUE(RowStamp("2024-2-29 00:00:00 x"));
  EXPECT_TRUE(RowStamp("2000-2-29 23:59:60 x"));
  EXPECT_TRUE(RowStamp("   1-12-31 00:00:00 x"));
  for (const char* refused : {"1900-2-29 00:00:00 x", "2026-4-31 00:00:00 x", "2026-2-0 00:00:00 x",
                              "   0-1-1 00:00:00 x", "2026-13-1 00:00:00 x", "2026-1-1 24:00:00 x"})
    EXPECT_FALSE(RowStamp(refused)) << refused;
}

// The searches and comparisons that go many bytes at a time agree with the plain ones wherever
// the byte lies, and numbers of every length are read whole.
TEST(HistoryLines, ByteSearchesAndNumbersAgreeWithThePlainOnesAtEveryOffset) {
  for (size_t size = 0; size <= 40; ++size) {
    for (size_t at = 0; at <= size; ++at) {
      std::string text(size, 'a');
      if (at < size) text[at] = '\n';
      if (at + 3 < size) text[at + 3] = '\n';
      const std::string_view view(text);
      EXPECT_EQ(FirstByte(view, '\n'), view.find('\n')) << size << " " << at;
      EXPECT_EQ(LastByte(view, '\n'), view.rfind('\n')) << size << " " << at;
      EXPECT_EQ(LastByte(view, '\n', at + 1), at + 3 < size ? at + 3 : std::string_view::npos) << size << " " << at;
      std::string other = text;
      if (at < size) other[at] = 'b';
      EXPECT_EQ(SameBytes(view, other), at == size) << size << " " << at;
    }
  }
  const std::string digits = "123456789012345678";
  for (size_t length = 1; length <= digits.size(); ++length) {
    const std::string number = digits.substr(0, length);
    const HistoryLine line = SplitHistoryLine("a\t~ run=W-1 t=" + number + " u=" + number + " z=+7");
    ASSERT_TRUE(line.facts) << length;
    EXPECT_EQ(line.facts->t, std::stoll(number));
    EXPECT_EQ(line.facts->utc, std::stoll(number));
  }
}

// Each line names its run, counter, UTC second and zone after the row; a torn end gets its line
// end first; a new day's file starts with its mark and the state the run was in.
TEST(HistoryWriter, LinesCarryTheirFactsATornEndIsMendedAndANewDayStatesTheRun) {
  MemoryDisk folder;
  folder.files[u"2026-12-08.log"] = "\xEF\xBB\xBF" "2026-12-8 23:00:00 http://x/ 访";  // power lost mid-line
  ProgramRun run(folder, "W-1-7", {2026, 12, 8, 23, 59, 0});
  EXPECT_TRUE(run.Row("监控开始运行").empty());
  run.Wait(30);
  run.Row("http://a/ 访问正常");
  run.Wait(20);
  run.Row("未知状态", false);
  run.Wait(20);
  run.Row("http://a/ 网页不存在");
  const std::string u = std::to_string(Utc({2026, 12, 8, 23, 59, 0}));
  auto facts = [&](int t) { return "\t~ run=W-1-7 t=" + std::to_string(t) + " u=" + std::to_string(std::stoll(u) + t) + " z=+480"; };
  EXPECT_EQ(folder.files[u"2026-12-08.log"],
            "\xEF\xBB\xBF" "2026-12-8 23:00:00 http://x/ 访\r\n"
            "2026-12-8 23:59:00 监控开始运行" + facts(0) + "\r\n"
            "2026-12-8 23:59:30 http://a/ 访问正常" + facts(30) + "\r\n"
            "未知状态" + facts(50) + "\r\n");
  EXPECT_EQ(folder.files[u"2026-12-09.log"],
            "\xEF\xBB\xBF" "2026-12-8 23:59:00 监控开始运行" + facts(0) + " carry\r\n"
            "2026-12-8 23:59:30 http://a/ 访问正常" + facts(30) + " carry\r\n"
            "未知状态" + facts(50) + " carry\r\n"
            "2026-12-9 00:00:10 http://a/ 网页不存在" + facts(70) + "\r\n");
  // As read back: the fragment stays a line of its own, the row after it whole.
  const std::string written = "2026-12-8 23:59:30 http://a/ 访问正常" + facts(30);
  const HistoryLine line = SplitHistoryLine(written);
  ASSERT_TRUE(line.facts);
  EXPECT_EQ(line.row, "2026-12-8 23:59:30 http://a/ 访问正常");
  EXPECT_EQ(line.facts->t, 30);
  EXPECT_EQ(line.facts->zoneMinutes, 480);
  EXPECT_FALSE(SplitHistoryLine("a\t~ run=W-1 t=1 u=2 z=480").facts);  // the zone's sign is required
}

// A failed write keeps the rows (bounded), says so once, and once the folder takes them again
// writes them all in order and says that once too.
TEST(HistoryWriter, AFailedWriteKeepsItsRowsAndTheRunLogIsToldOnceEachWay) {
  MemoryDisk folder;
  ProgramRun run(folder, "C-1-2", {2026, 12, 8, 10, 0, 0});
  run.Row("监控开始运行");
  folder.writable = false;
  run.Wait(30);
  EXPECT_EQ(run.Row("http://a/ 访问正常"), (std::vector<U16>{u"2026-12-8 10:00:30 历史记录无法写入：C:\\data\\GetLog"}));
  for (int i = 0; i < 3; ++i) {
    run.Wait(30);
    EXPECT_TRUE(run.Row("http://a/ 网页不存在").empty());
  }
  folder.writable = true;
  run.Wait(10);
  EXPECT_EQ(run.Flush(), (std::vector<U16>{u"2026-12-8 10:02:10 历史记录恢复写入：C:\\data\\GetLog"}));
  EXPECT_FALSE(run.Writer().Waiting());
  std::vector<std::string> rows;
  const std::string& bytes = folder.files[u"2026-12-08.log"];
  for (size_t at = 3, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
    rows.push_back(std::string(SplitHistoryLine(bytes.substr(at, end - at)).row));
  EXPECT_EQ(rows, (std::vector<std::string>{"2026-12-8 10:00:00 监控开始运行", "2026-12-8 10:00:30 http://a/ 访问正常",
                                            "2026-12-8 10:00:30 历史记录无法写入：C:\\data\\GetLog",
                                            "2026-12-8 10:01:00 http://a/ 网页不存在", "2026-12-8 10:01:30 http://a/ 网页不存在",
                                            "2026-12-8 10:02:00 http://a/ 网页不存在",
                                            "2026-12-8 10:02:10 历史记录恢复写入：C:\\data\\GetLog"}));
  // The rows kept have a bound: the oldest go.
  folder.writable = false;
  for (size_t i = 0; i < kHistoryRowsKept + 10; ++i) run.Row("http://a/ " + std::to_string(i) + " 访问正常");
  folder.writable = true;
  run.Flush();
  EXPECT_EQ(folder.files[u"2026-12-08.log"].find("http://a/ 9 访问正常"), std::string::npos);
  EXPECT_NE(folder.files[u"2026-12-08.log"].find("http://a/ 10 访问正常"), std::string::npos);
}

// Pruning keeps what a right clock keeps whatever the clock says: 100 days and 80 years ahead,
// set back; only a day the run has really lived moves today on.
TEST(HistoryWriter, AWrongClockPrunesNothingARightClockWouldKeep) {
  auto ninetyDays = [] {
    MemoryDisk folder;
    for (int d = 0; d < 90; ++d) folder.files[DayFileName(DateOfDayNumber(DayNumber({2026, 12, 8}) - d))] = "x\r\n";
    folder.files[u"notes.txt"] = "mine";
    return folder;
  };
  for (const LocalTime& clock : {LocalTime{2027, 3, 18, 9, 0, 0}, LocalTime{2106, 12, 8, 9, 0, 0},
                                 LocalTime{2026, 11, 1, 9, 0, 0}, LocalTime{2026, 12, 8, 9, 0, 0}}) {
    MemoryDisk folder = ninetyDays();
    ProgramRun run(folder, "W-1-1", clock);
    run.Row("软件启动");
    int kept = 0;
    for (int d = 0; d < 90; ++d) kept += static_cast<int>(folder.files.count(DayFileName(DateOfDayNumber(DayNumber({2026, 12, 8}) - d))));
    EXPECT_EQ(kept, 90) << clock.year << "-" << clock.month;
  }
  MemoryDisk folder = ninetyDays();
  ProgramRun run(folder, "W-1-1", {2026, 12, 8, 23, 0, 0});
  run.Row("软件启动");
  run.Wait(86400);
  run.Row("监控开始运行");
  EXPECT_FALSE(folder.files.count(u"2026-09-10.log"));
  EXPECT_TRUE(folder.files.count(u"2026-09-11.log") && folder.files.count(u"notes.txt"));
  // The size: oldest first; neither the clock's today nor the day pruning takes as today goes.
  const std::vector<FolderEntry> entries = {{u"2026-12-01.log", 100ull << 20}, {u"2026-11-30.log", 100ull << 20},
                                            {u"2027-01-01.log", 100ull << 20}, {u"2026-12-08.log", 100ull << 20}};
  EXPECT_EQ(DayFilesToPrune(entries, {2026, 12, 8}, {2027, 1, 1}), (std::vector<U16>{u"2026-11-30.log", u"2026-12-01.log"}));
  EXPECT_EQ(Names(folder).size(), 91u);
}
