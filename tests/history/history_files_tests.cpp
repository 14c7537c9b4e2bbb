// Day files on disk: their names, the retention and the writer's rows, on a folder in memory.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "console/history_outlets.h"
#include "history/day_file.h"
#include "history/history_row.h"
#include "history/history_writer.h"
#include "tests/support/recording_outlets.h"

namespace {

class MemoryFolder final : public IHistoryFolder {
 public:
  bool OpenDayFile(U16View name) override {
    ++opens;
    if (!writable) return false;
    open = U16(name);
    std::string& bytes = files[open];
    if (bytes.empty()) bytes = "\xEF\xBB\xBF";
    return true;
  }
  bool AppendLine(std::string_view bytes) override {
    ++writes;
    if (!writable || open.empty()) return false;
    files[open] += bytes;
    return true;
  }
  void CloseDayFile() override { open.clear(); }
  std::vector<FolderEntry> List() override {
    std::vector<FolderEntry> entries;
    for (const auto& [name, bytes] : files) entries.push_back({name, bytes.size()});
    return entries;
  }
  void Delete(U16View name) override { files.erase(U16(name)); }
  U16 Path() const override { return u"C:\\data\\GetLog"; }

  std::map<U16, std::string> files;
  U16 open;
  bool writable = true;
  int opens = 0;
  int writes = 0;
};

LocalTime g_now{2026, 12, 8, 9, 0, 0};
LocalTime Now() { return g_now; }

std::vector<U16> Names(const MemoryFolder& folder) {
  std::vector<U16> names;
  for (const auto& [name, bytes] : folder.files) names.push_back(name);
  return names;
}

}  // namespace

TEST(DayFiles, NamesAndDatesOnlyRealDaysAreDayFiles) {
  EXPECT_EQ(DayNumber({1970, 1, 1}), 0);
  EXPECT_EQ(DayNumber({2026, 12, 8}) - DayNumber({2026, 9, 9}), 90);
  EXPECT_EQ(DateOfDayNumber(DayNumber({2024, 2, 29}) + 1), (DayDate{2024, 3, 1}));
  EXPECT_EQ(DayFileName({2026, 3, 7}), u"2026-03-07.log");
  EXPECT_EQ(DateOfDayFileName(u"2024-02-29.log"), (DayDate{2024, 2, 29}));
  for (U16View foreign : {u"2100-02-29.log", u"2026-13-01.log", u"2026-1-01.log", u"2026-01-01.log.bak",
                          u"2026-01-01.LOG", u"notes.txt", u"２026-01-01.log", u""})
    EXPECT_FALSE(DateOfDayFileName(foreign)) << Utf8FromU16(foreign);
}

TEST(DayFiles, PruningKeepsNinetyDaysAndTheSizeLimitNeverTodayNorForeignFiles) {
  const DayDate today{2026, 12, 8};
  std::vector<FolderEntry> entries = {{u"2026-09-09.log", 10}, {u"2026-09-10.log", 10}, {u"2026-08-30.log", 10},
                                      {u"2026-12-08.log", 10}, {u"notes.txt", 1ull << 40},
                                      {u"2025-01-01.txt", 10}};
  EXPECT_EQ(DayFilesToPrune(entries, today), (std::vector<U16>{u"2026-08-30.log", u"2026-09-09.log"}));
  // Over the size: the oldest go until the rest fit; today's stays however large.
  entries = {{u"2026-12-01.log", 100ull << 20}, {u"2026-11-30.log", 100ull << 20},
             {u"2026-12-07.log", 100ull << 20}, {u"2026-12-08.log", 100ull << 20}};
  EXPECT_EQ(DayFilesToPrune(entries, today), (std::vector<U16>{u"2026-11-30.log", u"2026-12-01.log"}));
  entries = {{u"2026-12-07.log", 1}, {u"2026-12-08.log", 300ull << 20}};
  EXPECT_EQ(DayFilesToPrune(entries, today), (std::vector<U16>{u"2026-12-07.log"}));
}

TEST(HistoryWriter, RowsGoToTheirDaysFileWholeAndThePastIsPrunedOnTheNewDay) {
  MemoryFolder folder;
  folder.files[u"2026-09-09.log"] = "old";
  folder.files[u"notes.txt"] = "mine";
  {
    HistoryWriter writer(folder, Now);
    EXPECT_EQ(writer.Append(u"2026-12-7 23:59:59 http://a/ b 访问正常"), u"");
    EXPECT_EQ(writer.Append(u"未知状态"), u"");  // no stamp: the day of the row before it
    EXPECT_EQ(Names(folder), (std::vector<U16>{u"2026-09-09.log", u"2026-12-07.log", u"notes.txt"}));
    EXPECT_EQ(writer.Append(u"2026-12-8 00:00:01 监控停止!"), u"");
  }
  EXPECT_EQ(Names(folder), (std::vector<U16>{u"2026-12-07.log", u"2026-12-08.log", u"notes.txt"}));
  EXPECT_EQ(folder.files[u"2026-12-07.log"],
            "\xEF\xBB\xBF" "2026-12-7 23:59:59 http://a/ b 访问正常\r\n未知状态\r\n");
  EXPECT_EQ(folder.files[u"2026-12-08.log"], "\xEF\xBB\xBF" "2026-12-8 00:00:01 监控停止!\r\n");
  EXPECT_EQ(folder.opens, 2);
}

TEST(HistoryWriter, AFolderThatCannotBeWrittenIsSaidOnceAndTriedAgainAtTheNextDay) {
  MemoryFolder folder;
  folder.writable = false;
  HistoryWriter writer(folder, Now);
  EXPECT_EQ(writer.Append(u"2026-12-8 10:00:00 监控开始运行"), u"2026-12-8 09:00:00 历史记录无法写入：C:\\data\\GetLog");
  EXPECT_EQ(writer.Append(u"2026-12-8 10:00:01 http://a/ 访问正常"), u"");
  EXPECT_EQ(folder.opens, 1);  // not tried for every row
  EXPECT_EQ(folder.writes, 0);
  folder.writable = true;
  EXPECT_EQ(writer.Append(u"2026-12-9 00:00:00 http://a/ 访问正常"), u"");
  EXPECT_EQ(folder.files[u"2026-12-09.log"], "\xEF\xBB\xBF" "2026-12-9 00:00:00 http://a/ 访问正常\r\n");
  // A failed write (a full disk) stops the writing until the next day, without another row.
  folder.writable = false;
  EXPECT_EQ(writer.Append(u"2026-12-9 00:00:01 http://a/ 访问正常"), u"");
  EXPECT_EQ(writer.Append(u"2026-12-9 00:00:02 http://a/ 访问正常"), u"");
  EXPECT_EQ(folder.writes, 2);
}

TEST(HistoryWriter, TheConsolePrintsEveryRowAndTheFailureRowButStoresOnlyTheRows) {
  MemoryFolder folder;
  folder.writable = false;
  HistoryWriter writer(folder, Now);
  RecordingOutlets screen;
  HistoryOutlets outlets(screen, writer);
  outlets.InsertLogRow(u"2026-12-8 10:00:00 线程[1]启动");
  outlets.InsertLogRow(u"2026-12-8 10:00:00 监控开始运行");
  EXPECT_EQ(outlets.ShowNotification(1, 3, u"监控开始运行...", u"Dorvane提示"), 1);
  ASSERT_EQ(screen.calls.size(), 4u);
  EXPECT_EQ(screen.calls[1].text, u"2026-12-8 09:00:00 历史记录无法写入：C:\\data\\GetLog");
  EXPECT_EQ(screen.calls[2].text, u"2026-12-8 10:00:00 监控开始运行");
}

TEST(HistoryRows, LinesAreWholeStampsStrictAndTheStatusReadFromTheEnd) {
  EXPECT_EQ(DayFileLines("\xEF\xBB\xBF" "a\r\nb\r\n\xEF\xBB\xBF" "c\r\ntorn"),
            (std::vector<std::string_view>{"a", "b", "c"}));
  EXPECT_TRUE(DayFileLines("").empty());
  for (const char* bad : {"2026-12-8 9:00:00 监控开始运行", "2026-12-32 09:00:00 监控开始运行",
                          "2026-12-8 09:00:00监控开始运行", "12026-12-8 09:00:00 监控开始运行", "未知状态",
                          "2026-12-8 09:00:0"})
    EXPECT_FALSE(ReadHistoryRow(bad)) << bad;
  const auto row = ReadHistoryRow("2026-12-8 09:00:00 http://a/b c 网页不存在");
  ASSERT_TRUE(row);
  EXPECT_EQ(row->kind, HistoryRow::Site);
  EXPECT_EQ(row->address, u"http://a/b c");
  EXPECT_EQ(row->state, RowState::Down);
  EXPECT_EQ(ReadHistoryRow(" 999-1-2 03:04:05 本机网络恢复正常")->kind, HistoryRow::NetworkUp);
  EXPECT_EQ(ReadHistoryRow("2026-12-8 09:00:00 [1]线程退出")->kind, HistoryRow::Other);
  EXPECT_EQ(ReadHistoryRow("2026-12-8 09:00:00 临时响应")->kind, HistoryRow::Other);  // no address
}
