// The choice lists, their repair of stored values, the site list's normalisation and the task
// record built for each site.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "monitor/line_list.h"
#include "monitor/settings_tables.h"
#include "monitor/site_task_builder.h"

namespace {

// A drop-down list that behaves like a combo box: inserting at a position shifts the rest.
class FakeChoiceList final : public IChoiceList {
 public:
  struct Item {
    U16 label;
    int32_t data;
  };
  void InsertAt(int position, U16View label, int32_t itemData) override {
    items.insert(items.begin() + position, Item{U16(label), itemData});
  }
  void Select(int position) override { selected = position; }
  int SelectedPosition() const override { return selected; }
  bool ItemData(int position, int32_t& data) const override {
    if (position < 0 || position >= static_cast<int>(items.size())) return false;
    data = items[position].data;
    return true;
  }
  std::vector<Item> items;
  int selected = -1;
};

std::vector<std::pair<std::string, int32_t>> Entries(const FakeChoiceList& list) {
  std::vector<std::pair<std::string, int32_t>> out;
  for (const auto& item : list.items) out.emplace_back(Utf8FromU16(item.label), item.data);
  return out;
}

using EntryList = std::vector<std::pair<std::string, int32_t>>;

}  // namespace

TEST(SettingLists, FillInFixedOrderWithValuesAsItemData) {
  FakeChoiceList check, count, interval;
  MonitorSettings stored{900, 1, 10};
  FillSettingLists(check, count, interval, stored);
  EXPECT_EQ(Entries(check), (EntryList{{"30秒", 30}, {"1分钟", 60}, {"2分钟", 120}, {"5分钟", 300}, {"10分钟", 600}, {"15分钟", 900}}));
  EXPECT_EQ(Entries(count), (EntryList{{"1次", 1}, {"2次", 2}, {"3次", 3}}));
  EXPECT_EQ(Entries(interval), (EntryList{{"10秒", 10}, {"30秒", 30}, {"1分钟", 60}, {"2分钟", 120}, {"5分钟", 300}}));
  EXPECT_EQ(check.selected, 5);
  EXPECT_EQ(count.selected, 0);
  EXPECT_EQ(interval.selected, 0);
  EXPECT_EQ(stored.checkIntervalSeconds, 900);
  EXPECT_EQ(stored.retryCount, 1);
  EXPECT_EQ(stored.retryIntervalSeconds, 10);
  EXPECT_EQ(Utf8FromU16(kCheckIntervalTable.caption), "监控频率");
  EXPECT_EQ(Utf8FromU16(kRetryCountTable.caption), "重试次数");
  EXPECT_EQ(Utf8FromU16(kRetryIntervalTable.caption), "重试间隔");
}

TEST(SettingLists, EveryOfferedValueSelectsItsOwnEntryUnchanged) {
  for (const SettingTable* table : {&kCheckIntervalTable, &kRetryCountTable, &kRetryIntervalTable}) {
    for (size_t i = 0; i < table->count; ++i) {
      int32_t value = table->choices[i].value;
      EXPECT_EQ(SelectStoredValue(*table, value), static_cast<int>(i));
      EXPECT_EQ(value, table->choices[i].value);
    }
  }
  // The shared labels sit at different positions in the two interval lists.
  int32_t thirty = 30, sixty = 60;
  EXPECT_EQ(SelectStoredValue(kCheckIntervalTable, thirty), 0);
  EXPECT_EQ(SelectStoredValue(kRetryIntervalTable, thirty), 1);
  EXPECT_EQ(SelectStoredValue(kCheckIntervalTable, sixty), 1);
  EXPECT_EQ(SelectStoredValue(kRetryIntervalTable, sixty), 2);
}

TEST(SettingLists, ValuesNotOfferedAreRepairedToTheDefaults) {
  MonitorSettings stored{45, 0, 0};
  const SettingPositions p = SelectStoredSettings(stored);
  EXPECT_EQ(p.checkInterval, 1);
  EXPECT_EQ(stored.checkIntervalSeconds, 60);
  EXPECT_EQ(p.retryCount, 2);
  EXPECT_EQ(stored.retryCount, 3);
  EXPECT_EQ(p.retryInterval, 1);
  EXPECT_EQ(stored.retryIntervalSeconds, 30);

  MonitorSettings odd{-30, 4, 15};  // near misses and a negative value
  FakeChoiceList check, count, interval;
  FillSettingLists(check, count, interval, odd);
  EXPECT_EQ(check.selected, 1);
  EXPECT_EQ(count.selected, 2);
  EXPECT_EQ(interval.selected, 1);
  EXPECT_EQ(odd.checkIntervalSeconds, 60);
  EXPECT_EQ(odd.retryCount, 3);
  EXPECT_EQ(odd.retryIntervalSeconds, 30);
}

TEST(SettingLists, ReadingTakesTheItemDataOfTheSelectedEntry) {
  FakeChoiceList check, count, interval;
  MonitorSettings stored{};
  FillSettingLists(check, count, interval, stored);
  check.Select(5);     // "15分钟"
  count.Select(0);     // "1次"
  interval.Select(0);  // "10秒"
  MonitorSettings read{};
  ReadSettingLists(check, count, interval, read);
  EXPECT_EQ(read.checkIntervalSeconds, 900);
  EXPECT_EQ(read.retryCount, 1);
  EXPECT_EQ(read.retryIntervalSeconds, 10);

  // Item data decides, not the position: a list whose data differs from the table's order.
  FakeChoiceList reordered;
  reordered.InsertAt(0, u"x", 300);
  reordered.Select(0);
  EXPECT_EQ(ReadChoiceList(reordered, kCheckIntervalTable), 300);

  // No selection or foreign item data never yields a value outside the table.
  FakeChoiceList empty;
  EXPECT_EQ(ReadChoiceList(empty, kRetryCountTable), 3);
  FakeChoiceList foreign;
  foreign.InsertAt(0, u"x", 0);
  foreign.Select(0);
  EXPECT_EQ(ReadChoiceList(foreign, kRetryIntervalTable), 30);
  EXPECT_EQ(ValueAtPosition(kCheckIntervalTable, 99), 60);
  EXPECT_EQ(ValueAtPosition(kCheckIntervalTable, -1), 60);
}

// ---- site list

namespace {
std::vector<U16> Lines(const CLineList& list) {
  std::vector<U16> out;
  for (size_t i = 0; i < list.Count(); ++i) out.emplace_back(list.Line(i));
  return out;
}
}  // namespace

TEST(LineList, TrimsSpacesAndIdeographicSpacesAndDropsEmptyLines) {
  const CLineList list = CLineList::Normalised(u"  http://a.example/  \r\n\r\n\u3000http://b.example/");
  EXPECT_EQ(Lines(list), (std::vector<U16>{u"http://a.example/", u"http://b.example/"}));
  EXPECT_EQ(list.Joined(), u"http://a.example/\r\nhttp://b.example/");
  // Blanks in any mix on both sides; inner blanks stay.
  EXPECT_EQ(Lines(CLineList::Normalised(u" \u3000 \u3000a b\u3000 ")), (std::vector<U16>{u"a b"}));
}

TEST(LineList, OnlyCarriageReturnLineFeedEndsALine) {
  // A trailing CR LF gives an empty last line, which is then dropped.
  CLineList raw(u"a\r\nb\r\n");
  EXPECT_EQ(raw.Count(), 3u);
  EXPECT_EQ(U16(raw.Line(2)), u"");
  const CLineList trailing = CLineList::Normalised(u"a\r\nb\r\n");
  EXPECT_EQ(trailing.Count(), 2u);
  EXPECT_EQ(trailing.Joined(), u"a\r\nb");
  // A lone LF and a lone CR are ordinary characters of their line.
  EXPECT_EQ(Lines(CLineList::Normalised(u"http://a/\nhttp://b/")), (std::vector<U16>{u"http://a/\nhttp://b/"}));
  EXPECT_EQ(Lines(CLineList::Normalised(u"a\rb\r\nc")), (std::vector<U16>{u"a\rb", u"c"}));
  // LF CR is not a line end either; CR CR LF ends the line after a CR that stays.
  EXPECT_EQ(Lines(CLineList::Normalised(u"a\n\rb\r\r\nc")), (std::vector<U16>{u"a\n\rb\r", u"c"}));
}

TEST(LineList, TabsAreNotBlanksAndDuplicatesStay) {
  EXPECT_EQ(Lines(CLineList::Normalised(u"\thttp://a/ ")), (std::vector<U16>{u"\thttp://a/"}));
  const CLineList twice = CLineList::Normalised(u"http://a/\r\nhttp://a/");
  EXPECT_EQ(Lines(twice), (std::vector<U16>{u"http://a/", u"http://a/"}));
}

TEST(LineList, BlankOrEmptyTextGivesNoSitesAndJoinsEmpty) {
  for (const char16_t* text : {u"", u"   ", u"\r\n\r\n", u" \r\n\u3000\u3000\r\n  "}) {
    const CLineList list = CLineList::Normalised(text);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Joined(), u"");
  }
  // Lines outside the list read as empty text, not as a crash.
  CLineList list;
  EXPECT_EQ(U16(list.Line(0)), u"");
  EXPECT_EQ(U16(list.Join()), u"");
}

TEST(LineList, RebuildingReplacesLinesAndJoinedText) {
  CLineList list = CLineList::Normalised(u"a\r\nb");
  list.Build(u"c");
  EXPECT_EQ(list.Joined(), u"");  // the old join is gone until the next Join
  EXPECT_EQ(U16(list.Join()), u"c");
  EXPECT_EQ(list.Count(), 1u);
}

// ---- task records

TEST(SiteTask, CarriesNumberSettingsWindowAndUrlOfItsLine) {
  const CLineList list = CLineList::Normalised(u"http://a/\r\nhttp://b/");
  int window = 0;
  SiteProbeTask task;  // what another site left in it must not survive
  task.threadHandle = &window;
  task.lastStatus = 404;
  task.url = u"http://left.over/";
  EXPECT_EQ(BuildSiteProbeTask(task, list, 1, MonitorSettings{900, 1, 10}, &window), SiteTaskBuild::kBuilt);
  EXPECT_EQ(task.siteNumber, 2);
  EXPECT_EQ(task.threadHandle, nullptr);
  EXPECT_EQ(task.checkIntervalSeconds, 900);
  EXPECT_EQ(task.retryCount, 1);
  EXPECT_EQ(task.retryIntervalSeconds, 10);
  EXPECT_EQ(task.lastStatus, 200);
  EXPECT_EQ(task.notifyWindow, &window);
  EXPECT_EQ(task.url, u"http://b/");
}

TEST(SiteTask, EveryTaskOfARunGetsTheSameSettings) {
  const CLineList list = CLineList::Normalised(u"a\r\nb\r\nc");
  const MonitorSettings settings{900, 1, 10};
  for (size_t i = 0; i < list.Count(); ++i) {
    SiteProbeTask task;
    BuildSiteProbeTask(task, list, i, settings, nullptr);
    EXPECT_EQ(task.siteNumber, static_cast<int32_t>(i + 1));
    EXPECT_EQ(task.checkIntervalSeconds, 900);
    EXPECT_EQ(task.retryCount, 1);
    EXPECT_EQ(task.retryIntervalSeconds, 10);
  }
}

TEST(SiteTask, LongLinesAreKeptWhole) {
  const U16 line = u"http://x/" + U16(4000, u'a') + u"\U0001F600";
  const CLineList list = CLineList::Normalised(line);
  SiteProbeTask task;
  EXPECT_EQ(BuildSiteProbeTask(task, list, 0, MonitorSettings{60, 3, 30}, nullptr), SiteTaskBuild::kBuilt);
  EXPECT_EQ(task.url, line);
}

TEST(SiteTask, IndexOutsideTheListLeavesAZeroRecord) {
  const CLineList list = CLineList::Normalised(u"a");
  SiteProbeTask task;
  task.siteNumber = 7;
  EXPECT_EQ(BuildSiteProbeTask(task, list, 1, MonitorSettings{60, 3, 30}, nullptr), SiteTaskBuild::kNoSuchLine);
  EXPECT_EQ(task.siteNumber, 0);
  EXPECT_TRUE(task.url.empty());
}
