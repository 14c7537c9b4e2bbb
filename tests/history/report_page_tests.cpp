// The availability page as HTML: what the history gave stays text, the page is made only of the
// few elements it means to use, and each site gets its row, one cell per day and its outages.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "history/report_page.h"

namespace {

const char16_t kHostile[] = u"http://x/\"><script>alert(1)</script><img src=x onerror='y'>&amp;";

TimeSplit Split(int64_t up, int64_t down, int64_t notKnown) { return {up, down, notKnown, up + down + notKnown}; }

ReportPageModel TwoSites() {
  ReportPageModel model;
  model.generatedAt = {2026, 12, 8, 10, 0, 0};
  model.historyFrom = LocalTime{2026, 11, 1, 0, 0, 0};
  model.periodSeconds = 86400 * 3;
  model.watchedSeconds = 86400;
  for (const char16_t* address : {u"https://ok.example/", kHostile}) {
    PageSite site;
    site.address = address;
    site.last24Hours = site.last7Days = site.last30Days = site.last90Days = Split(3600, 400, 30);
    site.days = {{2026, 12, 6, {}}, {2026, 12, 7, Split(80000, 0, 0)}, {2026, 12, 8, Split(30000, 6000, 60)}};
    site.latestStatus = u"访问正常";
    model.sites.push_back(site);
  }
  model.sites[1].outages.push_back({{2026, 12, 8, 9, 0, 0}, std::nullopt, 6000, u"</td></tr><b>网页不存在"});
  model.sites[1].latestStatus = u"<i>网页不存在</i>";
  model.networkOutages.push_back({{2026, 12, 7, 1, 2, 3}, LocalTime{2026, 12, 7, 1, 5, 3}, 180});
  return model;
}

}  // namespace

TEST(ReportPage, HistoryTextStaysTextAndEverySiteGetsItsRowCellsAndOutages) {
  const std::string html = RenderReportPage(TwoSites());

  // Every tag and attribute is one the page means to write: the hostile address and failure
  // text opened none and closed no attribute.
  const std::set<std::string> tags = {"!DOCTYPE", "html", "head", "meta", "title", "style", "body", "h1", "h2",
                                      "p", "span", "table", "colgroup", "col", "thead", "tbody", "tr", "th",
                                      "td", "div", "b", "small", "details", "summary"};
  const std::set<std::string> attributes = {"lang", "charset", "http-equiv", "content", "name", "class",
                                            "id", "title", "data-site", "open", "html"};
  int cells = 0, siteRows = 0;
  for (size_t open = html.find('<'); open != std::string::npos; open = html.find('<', open + 1)) {
    const size_t close = html.find('>', open);
    ASSERT_NE(close, std::string::npos);
    const std::string inside = html.substr(open + 1, close - open - 1);
    if (open > html.find("<style>") && open < html.find("</style>")) continue;
    const size_t nameStart = inside[0] == '/' ? 1 : 0, nameEnd = inside.find_first_of(" \t\n", nameStart);
    const std::string name = inside.substr(nameStart, nameEnd - nameStart);
    const std::string rest = nameEnd == std::string::npos ? "" : inside.substr(nameEnd);
    EXPECT_TRUE(tags.count(name)) << "unexpected element <" << inside << ">";
    // Attributes: a name, then ="..." (the value holds no quote: quotes are entities).
    for (size_t at = rest.find_first_not_of(' '); at != std::string::npos; at = rest.find_first_not_of(' ', at)) {
      const size_t end = rest.find_first_of(" =", at);
      EXPECT_TRUE(attributes.count(rest.substr(at, end - at))) << "unexpected attribute in <" << inside << ">";
      at = end == std::string::npos || rest[end] != '=' ? end : rest.find('"', rest.find('"', end) + 1);
      if (at != std::string::npos) ++at;
    }
    if (name == "span" && rest.find("class=\"cell ") != std::string::npos && rest.find("title=") != std::string::npos)
      ++cells;
    if (name == "tr" && rest.find("class=\"site\"") != std::string::npos) ++siteRows;
  }
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(html.find("http://x/&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;&lt;img src=x onerror=&#39;y&#39;&gt;"
                      "&amp;amp;"),
            std::string::npos);
  EXPECT_NE(html.find("&lt;/td&gt;&lt;/tr&gt;&lt;b&gt;网页不存在"), std::string::npos);
  EXPECT_NE(html.find("&lt;i&gt;网页不存在&lt;/i&gt;"), std::string::npos);

  EXPECT_EQ(siteRows, 2);
  EXPECT_EQ(cells, 6);  // one per day and site
  // An unwatched day is grey; a watched one says its figures.
  EXPECT_NE(html.find("class=\"cell g-none\" title=\"2026-12-06 未监控\""), std::string::npos);
  EXPECT_NE(html.find("title=\"2026-12-08 可用率 83.33%&#10;正常 8小时20分，故障 1小时40分，未知 1分0秒"),
            std::string::npos);
  EXPECT_NE(html.find("<b class=\"g-poor\">90.00%</b><small>未知 30秒</small>"), std::string::npos);
  EXPECT_NE(html.find("历史记录始于 2026-11-01"), std::string::npos);
  EXPECT_NE(html.find("2026-12-8 09:00:00</td><td class=\"num\">仍未恢复</td><td class=\"num\">1小时40分"),
            std::string::npos);
  EXPECT_NE(html.find("2026-12-7 01:02:03</td><td class=\"num\">2026-12-7 01:05:03</td><td class=\"num\">3分0秒"),
            std::string::npos);
  EXPECT_NE(html.find("占统计时间 3天0小时 的 33%"), std::string::npos);

  // No outages, no network outages, no history kept back: each says so plainly.
  ReportPageModel quiet = TwoSites();
  quiet.sites[1].outages.clear();
  quiet.networkOutages.clear();
  quiet.historyFrom.reset();
  const std::string plain = RenderReportPage(quiet);
  EXPECT_NE(plain.find("统计期间没有站点故障。"), std::string::npos);
  EXPECT_NE(plain.find("统计期间本机网络没有断线。"), std::string::npos);
  EXPECT_EQ(plain.find("历史记录始于"), std::string::npos);
}
