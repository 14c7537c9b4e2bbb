// Fuzzes the site list's normalisation as Start performs it: the text the edit box hands over
// (the whole text, up to its terminator) is split at CR LF, trimmed, cleared of empty
// lines and joined, and every line becomes a probe task. The last input byte chooses how the
// bytes before it become text: even takes UTF-16LE code units as they are (lone surrogates
// included), odd decodes UTF-8, which reaches CR LF, blanks and ideographic spaces more easily.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "monitor/line_list.h"
#include "monitor/site_task_builder.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\u3000'; }

// A second, character-by-character rendering of the rules, to compare the list against.
std::vector<U16> ReferenceLines(U16View text) {
  std::vector<U16> split(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      split.emplace_back();
      ++i;
    } else {
      split.back().push_back(text[i]);
    }
  }
  std::vector<U16> kept;
  for (const U16& line : split) {
    size_t b = 0, e = line.size();
    while (b < e && IsBlank(line[b])) ++b;
    while (e > b && IsBlank(line[e - 1])) --e;
    if (b < e) kept.push_back(line.substr(b, e - b));
  }
  return kept;
}

size_t CountCrLf(U16View text) {
  size_t n = 0;
  for (size_t at = text.find(u"\r\n"); at != U16View::npos; at = text.find(u"\r\n", at + 2)) ++n;
  return n;
}

void CheckLines(const CLineList& list, const std::vector<U16>& expected) {
  FUZZ_REQUIRE(list.Count() == expected.size());
  for (size_t i = 0; i < list.Count(); ++i) {
    const U16View line = list.LineView(i);
    FUZZ_REQUIRE(line == expected[i]);
    FUZZ_REQUIRE(!line.empty());
    FUZZ_REQUIRE(!IsBlank(line.front()) && !IsBlank(line.back()));
    FUZZ_REQUIRE(line.find(u"\r\n") == U16View::npos);
    // The NUL-terminated form says the same as the view.
    FUZZ_REQUIRE(std::char_traits<char16_t>::length(list.Line(i)) == line.size());
  }
  FUZZ_REQUIRE(*list.Line(list.Count()) == u'\0');
}

void CheckTasks(const CLineList& list, const MonitorSettings& settings) {
  int window = 0;
  for (size_t i = 0; i <= list.Count(); ++i) {
    SiteProbeTask task;  // left over from another site: the builder must clear it all
    task.siteNumber = 99;
    task.threadHandle = &window;
    task.lastStatus = 404;
    task.url = u"http://left.over/";
    const SiteTaskBuild result = BuildSiteProbeTask(task, list, i, settings, &window);
    if (i == list.Count()) {
      FUZZ_REQUIRE(result == SiteTaskBuild::kNoSuchLine);
      FUZZ_REQUIRE(task.siteNumber == 0 && task.threadHandle == nullptr && task.lastStatus == 0);
      FUZZ_REQUIRE(task.notifyWindow == nullptr && task.url.empty());
      break;
    }
    FUZZ_REQUIRE(task.siteNumber == static_cast<int32_t>(i + 1));
    FUZZ_REQUIRE(task.threadHandle == nullptr && task.notifyWindow == &window);
    FUZZ_REQUIRE(task.lastStatus == 200);
    FUZZ_REQUIRE(task.checkIntervalSeconds == settings.checkIntervalSeconds);
    FUZZ_REQUIRE(task.retryCount == settings.retryCount);
    FUZZ_REQUIRE(task.retryIntervalSeconds == settings.retryIntervalSeconds);

    // The whole line, however long, is the address probed.
    FUZZ_REQUIRE(result == SiteTaskBuild::kBuilt && task.url == list.LineView(i));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool utf8 = in.ConsumeBool();
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  U16 text = utf8 ? U16FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
                  : Utf16LeUnits(bytes);
  // What the edit box hands over: the whole text, ending at its terminator.
  text.resize(std::char_traits<char16_t>::length(text.c_str()));

  const std::vector<U16> expected = ReferenceLines(text);

  // Step by step, as the list's operations are offered.
  CLineList steps(text);
  FUZZ_REQUIRE(steps.Count() == CountCrLf(text) + 1);
  steps.Trim();
  FUZZ_REQUIRE(steps.Count() == CountCrLf(text) + 1);
  steps.DropEmpty();
  CheckLines(steps, expected);
  const char16_t* joined = steps.Join();
  FUZZ_REQUIRE(joined == steps.Joined().c_str());

  // The whole normalisation of Start gives the same list.
  CLineList list = CLineList::Normalised(text);
  CheckLines(list, expected);
  const U16& join = list.Joined();
  FUZZ_REQUIRE(join == steps.Joined());
  FUZZ_REQUIRE(join.size() <= text.size());
  FUZZ_REQUIRE(CountCrLf(join) == (list.Count() == 0 ? 0 : list.Count() - 1));
  FUZZ_REQUIRE(join.empty() == (list.Count() == 0));
  if (!join.empty()) FUZZ_REQUIRE(!IsBlank(join.front()) && !IsBlank(join.back()));

  // Normalising the joined text again changes nothing: what Start puts back into the edit box
  // and stores is already normal.
  CLineList again = CLineList::Normalised(join);
  CheckLines(again, expected);
  FUZZ_REQUIRE(again.Joined() == join);

  // A rebuilt list forgets the previous lines and joined text.
  steps.Build(u"x");
  FUZZ_REQUIRE(steps.Count() == 1 && steps.Joined().empty());

  const MonitorSettings settings{900, 1, 10};
  CheckTasks(list, settings);
  return 0;
}
