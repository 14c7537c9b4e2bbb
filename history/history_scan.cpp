#include "history/history_scan.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "history/byte_search.h"
#include "history/day_file.h"
#include "history/history_row.h"

namespace {

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};
using TextMap = std::unordered_map<std::string, size_t, TextHash, std::equal_to<>>;

struct SiteInRun {
  size_t site = 0;
  RowState state = RowState::NotKnown;
  int64_t sinceT = 0;
  int64_t sinceUtc = 0;
  int outage = -1;  // index into the outages while one is open
};

struct RunState {
  bool rowsRead = false;  // a line of its own read, not only carried ones: later carried lines are skipped
  bool watching = false;
  bool networkDown = false;
  char program = 0;
  int64_t firstUtc = 0;
  int64_t lastT = 0, lastUtc = 0;
  int lastZone = 0;
  int64_t watchT = 0, watchUtc = 0;
  int64_t netT = 0, netUtc = 0;
  int netZone = 0;
  std::vector<SiteInRun> sites;
  std::vector<int> position;  // by site index: where in `sites`, or -1
};

// Where one line stands in its run.
struct When {
  int64_t t = 0;
  int64_t utc = 0;
  int zone = 0;
};

int64_t Overlap(int64_t from, int64_t to, const ScanWindow& window) {
  return std::max<int64_t>(0, std::min(to, window.toUtc) - std::max(from, window.fromUtc));
}

void AddTo(TimeSplit& split, RowState state, int64_t seconds) {
  if (seconds <= 0) return;
  (state == RowState::Up ? split.upSeconds : state == RowState::Down ? split.downSeconds : split.notKnownSeconds) +=
      seconds;
  split.watchedSeconds += seconds;
}

class Scanner {
 public:
  explicit Scanner(const ScanPlan& plan) : plan_(plan) {
    watchedWindows_.assign(plan.windows.size(), 0);
    watchedDays_.assign(static_cast<size_t>(std::max(0, plan.dayCount)), 0);
  }

  void Line(const std::string_view& line) {
    const HistoryLine split = SplitHistoryLine(line);
    const HistoryRow row = ReadHistoryRow(split.row);
    RunState* run = nullptr;
    When when;
    if (split.facts) {
      const LineFacts& facts = *split.facts;
      if (lastRun_ < 0 || !SameBytes(facts.run, lastRunName_)) {
        auto found = runs_.find(facts.run);
        if (found == runs_.end()) {
          found = runs_.emplace(std::string(facts.run), runOrder_.size()).first;
          runOrder_.emplace_back();
          runOrder_.back().program = facts.run[0];
          runOrder_.back().firstUtc = facts.utc;
        }
        lastRun_ = static_cast<int>(found->second);
        lastRunName_ = found->first;
      }
      run = &runOrder_[static_cast<size_t>(lastRun_)];
      if (facts.carry && run->rowsRead) return;
      if (!facts.carry) run->rowsRead = true;
      when = {facts.t, facts.utc, facts.zoneMinutes};
    } else {
      // A line of the earlier format: the folder's one earlier-format run, timed by its stamps.
      if (legacy_ < 0) {
        legacy_ = static_cast<int>(runOrder_.size());
        runOrder_.emplace_back();
        runOrder_.back().program = 'L';
      }
      run = &runOrder_[static_cast<size_t>(legacy_)];
      if (row.stamp) {
        const int64_t local = SecondsOf(*row.stamp);
        when = {local, local - plan_.now.zoneMinutes * 60, plan_.now.zoneMinutes};
        if (!run->rowsRead) run->firstUtc = when.utc;
      } else if (row.kind == HistoryRow::BareUnknown && run->rowsRead) {
        when = {run->lastT, run->lastUtc, run->lastZone};
      } else {
        return;
      }
      run->rowsRead = true;
      if (row.kind == HistoryRow::RunStart || row.kind == HistoryRow::ProgramStart) {
        EndWatch(*run, {run->lastT, run->lastUtc, run->lastZone}, true);
      }
    }
    Read(*run, row, when);
    run->lastT = when.t;
    run->lastUtc = when.utc;
    run->lastZone = when.zone;
  }

  HistoryScan Finish(std::optional<DayDate> oldest) {
    for (RunState& run : runOrder_) {
      // A run that a later run of its program followed has ended at its last line; the latest
      // may still be watching.
      bool followed = false;
      for (const RunState& other : runOrder_)
        followed = followed || (&other != &run && other.program == run.program && other.firstUtc > run.firstUtc);
      EndWatch(run, {run.lastT, run.lastUtc, run.lastZone}, followed || run.program == 'L');
    }
    Union();
    HistoryScan scan;
    scan.oldestDay = oldest;
    scan.watchedWindows = watchedWindows_;
    scan.watchedDays = watchedDays_;
    for (size_t index : listed_) scan.sites.push_back(std::move(sites_[index]));
    std::vector<size_t> position(sites_.size(), 0);
    for (size_t i = 0; i < listed_.size(); ++i) position[listed_[i]] = i;
    const ScanWindow& main = plan_.windows.front();
    for (ScanOutage& outage : outages_) {
      if (!listedFlag_[outage.site]) continue;
      // Listed when it has down time in the period or begins in it (a clock set back may put its
      // stretches where its rows' stamps are not).
      if (outage.seconds == 0 && (outage.startUtc < main.fromUtc || outage.startUtc >= main.toUtc)) continue;
      outage.site = position[outage.site];
      scan.outages.push_back(std::move(outage));
    }
    std::stable_sort(scan.outages.begin(), scan.outages.end(),
                     [](const ScanOutage& a, const ScanOutage& b) { return a.startUtc < b.startUtc; });
    std::sort(network_.begin(), network_.end(),
              [](const ScanNetworkOutage& a, const ScanNetworkOutage& b) { return a.startUtc < b.startUtc; });
    for (const ScanNetworkOutage& outage : network_) {
      if (outage.startUtc >= main.toUtc || outage.startUtc + outage.seconds <= main.fromUtc) continue;
      if (!scan.network.empty()) {
        ScanNetworkOutage& last = scan.network.back();
        if (outage.startUtc <= last.startUtc + last.seconds) {  // the same outage seen by another run
          last.seconds = std::max(last.seconds, outage.startUtc + outage.seconds - last.startUtc);
          last.open = last.open || outage.open;
          continue;
        }
      }
      scan.network.push_back(outage);
    }
    return scan;
  }

 private:
  void Read(RunState& run, const HistoryRow& row, const When& when) {
    switch (row.kind) {
      case HistoryRow::RunStart:
        EndWatch(run, when, true);
        run.watching = true;
        run.watchT = when.t;
        run.watchUtc = when.utc;
        break;
      case HistoryRow::RunStop:
      case HistoryRow::ProgramStart:
        EndWatch(run, when, true);
        break;
      case HistoryRow::NetworkDown:
        if (run.watching && !run.networkDown) {
          for (SiteInRun& site : run.sites) Count(run, site, when);
          run.networkDown = true;
          run.netT = when.t;
          run.netUtc = when.utc;
          run.netZone = when.zone;
        }
        break;
      case HistoryRow::NetworkUp:
        if (run.watching && run.networkDown) EndNetworkOutage(run, when, false);
        break;
      case HistoryRow::Site:
        SiteRow(run, row, when);
        break;
      case HistoryRow::BareUnknown:
        if (!run.watching) break;
        // No site named: the run's one site, or every site of the run that was up, is not known.
        for (SiteInRun& site : run.sites) {
          if (run.sites.size() == 1 || site.state == RowState::Up) Turn(run, site, RowState::NotKnown, when, row);
        }
        break;
      case HistoryRow::Other:
        break;
    }
  }

  void SiteRow(RunState& run, const HistoryRow& row, const When& when) {
    const size_t index = SiteOf(row.address);
    ScanSite& site = sites_[index];
    if (site.latestStatus.empty() || when.utc >= site.latestUtc) {
      if (!SameBytes(site.latestStatus, row.statusText)) site.latestStatus.assign(row.statusText);
      site.latestUtc = when.utc;
    }
    const ScanWindow& main = plan_.windows.front();
    if (when.utc >= main.fromUtc && when.utc < main.toUtc) List(index);
    if (!run.watching) return;  // rows outside watching count nothing
    if (run.position.size() <= index) run.position.resize(index + 1, -1);
    if (run.position[index] < 0) {
      run.position[index] = static_cast<int>(run.sites.size());
      run.sites.push_back({index, RowState::NotKnown, when.t, when.utc, -1});
    }
    Turn(run, run.sites[static_cast<size_t>(run.position[index])], row.state, when, row);
  }

  // The sites are checked in turn: the site after the last row's is tried before the map.
  size_t SiteOf(std::string_view address) {
    const size_t next = lastSite_ + 1;
    if (next < sites_.size() && SameBytes(sites_[next].address, address)) return lastSite_ = next;
    auto found = siteIndex_.find(address);
    if (found == siteIndex_.end()) {
      found = siteIndex_.emplace(std::string(address), sites_.size()).first;
      sites_.emplace_back();
      sites_.back().address = std::string(address);
      sites_.back().windows.assign(plan_.windows.size(), {});
      sites_.back().days.assign(static_cast<size_t>(std::max(0, plan_.dayCount)), {});
      listedFlag_.push_back(false);
    }
    return lastSite_ = found->second;
  }

  void Turn(RunState& run, SiteInRun& site, RowState state, const When& when, const HistoryRow& row) {
    Count(run, site, when);
    if (state == RowState::Down && site.outage < 0) {
      site.outage = static_cast<int>(outages_.size());
      ScanOutage outage;
      outage.site = site.site;
      outage.start = LocalTimeOfSeconds(when.utc + when.zone * 60);
      outage.startUtc = when.utc;
      outage.failureText.assign(row.statusText);
      outages_.push_back(std::move(outage));
    } else if (state != RowState::Down && site.outage >= 0) {
      outages_[static_cast<size_t>(site.outage)].end = LocalTimeOfSeconds(when.utc + when.zone * 60);
      site.outage = -1;
    }
    site.state = state;
  }

  // The site's time from its last row to `when`, where it falls in the windows and days.
  void Count(const RunState& run, SiteInRun& site, const When& when) {
    const int64_t seconds = when.t - site.sinceT;
    const int64_t from = site.sinceUtc;
    site.sinceT = when.t;
    site.sinceUtc = when.utc;
    if (!run.watching || run.networkDown || seconds <= 0) return;
    const int64_t to = from + seconds;
    ScanSite& figures = sites_[site.site];
    bool inMain = false;
    for (size_t w = 0; w < plan_.windows.size(); ++w) {
      const int64_t overlap = Overlap(from, to, plan_.windows[w]);
      AddTo(figures.windows[w], site.state, overlap);
      if (w == 0 && overlap > 0) {
        inMain = true;
        if (site.state == RowState::Down && site.outage >= 0) outages_[static_cast<size_t>(site.outage)].seconds += overlap;
      }
    }
    if (inMain) List(site.site);
    ForEachDay(from, to, [&](size_t day, int64_t part) { AddTo(figures.days[day], site.state, part); });
  }

  template <typename Add>
  void ForEachDay(int64_t from, int64_t to, Add add) {
    if (plan_.dayCount <= 0) return;
    const int64_t first = plan_.daysFromUtc;
    const int64_t end = first + int64_t{plan_.dayCount} * 86400;
    from = std::max(from, first);
    to = std::min(to, end);
    while (from < to) {
      const int64_t day = (from - first) / 86400;
      const int64_t dayEnd = first + (day + 1) * 86400;
      const int64_t partEnd = std::min(to, dayEnd);
      add(static_cast<size_t>(day), partEnd - from);
      from = partEnd;
    }
  }

  void EndNetworkOutage(RunState& run, const When& when, bool open) {
    network_.push_back({run.netUtc, std::max<int64_t>(0, when.t - run.netT), run.netZone, open});
    run.networkDown = false;
    for (SiteInRun& site : run.sites) {
      site.sinceT = when.t;
      site.sinceUtc = when.utc;
    }
  }

  // Watching ends at `when`; `ended` false leaves the open outages still going.
  void EndWatch(RunState& run, const When& when, bool ended) {
    if (!run.watching) return;
    for (SiteInRun& site : run.sites) {
      Count(run, site, when);
      if (site.outage >= 0 && ended)
        outages_[static_cast<size_t>(site.outage)].end = LocalTimeOfSeconds(when.utc + when.zone * 60);
    }
    if (run.networkDown) EndNetworkOutage(run, when, !ended);
    const int64_t from = run.watchUtc;
    const int64_t to = from + std::max<int64_t>(0, when.t - run.watchT);
    watchSpans_.push_back({from, to});
    run.sites.clear();
    run.position.clear();
    run.watching = false;
    run.networkDown = false;
  }

  void List(size_t index) {
    if (listedFlag_[index]) return;
    listedFlag_[index] = true;
    listed_.push_back(index);
  }

 private:
  // Time any run was watching: the union of all watching spans, per window and day.
  void Union() {
    std::sort(watchSpans_.begin(), watchSpans_.end());
    int64_t from = 0, to = 0;
    bool any = false;
    auto flush = [&] {
      if (!any) return;
      for (size_t w = 0; w < plan_.windows.size(); ++w) watchedWindows_[w] += Overlap(from, to, plan_.windows[w]);
      ForEachDay(from, to, [&](size_t day, int64_t part) { watchedDays_[day] += part; });
    };
    for (const auto& [spanFrom, spanTo] : watchSpans_) {
      if (any && spanFrom <= to) {
        to = std::max(to, spanTo);
        continue;
      }
      flush();
      from = spanFrom;
      to = spanTo;
      any = true;
    }
    flush();
  }

  const ScanPlan& plan_;
  TextMap runs_;
  std::vector<RunState> runOrder_;
  int lastRun_ = -1;           // the run of the line before: most lines follow one of their own run
  std::string_view lastRunName_;  // a key of runs_, stable while the map lives
  int legacy_ = -1;
  TextMap siteIndex_;
  size_t lastSite_ = static_cast<size_t>(-1);  // the site of the last site row
  std::vector<ScanSite> sites_;
  std::vector<bool> listedFlag_;
  std::vector<size_t> listed_;
  std::vector<ScanOutage> outages_;
  std::vector<ScanNetworkOutage> network_;
  std::vector<std::pair<int64_t, int64_t>> watchSpans_;
  std::vector<int64_t> watchedWindows_;
  std::vector<int64_t> watchedDays_;
};

// Splits streamed pieces into lines: the mark at a file's start dropped, a torn last line and any
// line over the limit skipped.
class LineSplitter {
 public:
  explicit LineSplitter(Scanner& scanner) : scanner_(scanner) {}

  void Piece(std::string_view bytes) {
    while (!bytes.empty()) {
      const size_t end = FirstByte(bytes, '\n');
      if (end == std::string_view::npos) {
        Keep(bytes);
        return;
      }
      const std::string_view part = Bytes(bytes, 0, end);
      if (held_.empty() && !overLong_) {
        Whole(part);
      } else {
        Keep(part);
        if (!overLong_) Whole(held_);
        held_.clear();
        overLong_ = false;
      }
      bytes.remove_prefix(end + 1);
    }
  }
  void NewFile() {
    held_.clear();
    overLong_ = false;
    fileStart_ = true;
  }

 private:
  void Keep(std::string_view part) {
    if (overLong_) return;
    if (held_.size() + part.size() > kHistoryLineLimit) {
      overLong_ = true;
      held_.clear();
      return;
    }
    held_.append(part);
  }
  void Whole(std::string_view line) {
    if (fileStart_ && StartsWithBytes(line, kDayFileMark)) line.remove_prefix(kDayFileMark.size());
    fileStart_ = false;
    // A file that two programs of the earlier version both created holds a second mark.
    if (StartsWithBytes(line, kDayFileMark)) line.remove_prefix(kDayFileMark.size());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kHistoryLineLimit) return;
    scanner_.Line(line);
  }

  Scanner& scanner_;
  std::string held_;
  bool overLong_ = false;
  bool fileStart_ = true;
};

}  // namespace

DayDate LocalDateOf(int64_t utc, int zoneMinutes) {
  const int64_t local = utc + int64_t{zoneMinutes} * 60;
  return DateOfDayNumber(local >= 0 ? local / 86400 : (local - 86399) / 86400);
}

int64_t MidnightUtc(const DayDate& date, int zoneMinutes) {
  return DayNumber(date) * 86400 - int64_t{zoneMinutes} * 60;
}

HistoryScan ScanHistory(const IDayFiles& files, const ScanPlan& plan) {
  Scanner scanner(plan);
  LineSplitter splitter(scanner);
  std::vector<DayDate> days = files.Days();
  std::sort(days.begin(), days.end(), [](const DayDate& a, const DayDate& b) { return DayNumber(a) < DayNumber(b); });
  const int64_t first = DayNumber(LocalDateOf(plan.windows.front().fromUtc, plan.now.zoneMinutes)) - 1;
  const int64_t last = DayNumber(LocalDateOf(plan.now.utcSeconds, plan.now.zoneMinutes)) + 1;
  for (const DayDate& day : days) {
    const int64_t number = DayNumber(day);
    if (number < first || number > last) continue;
    splitter.NewFile();
    files.Read(day, [&](std::string_view piece) { splitter.Piece(piece); });
  }
  return scanner.Finish(days.empty() ? std::nullopt : std::optional<DayDate>(days.front()));
}
