// The prune against a deliberately plain model of the keep rules, over
// generated sequences of nights on the fake file system, and a few cases the
// sequences meet too seldom.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archiver/Journal.h"
#include "archiver/Retention.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Services.h"
#include "platform/fakes/Fakes.h"
#include "tests/archiver/PosixDay.h"

namespace pw {
namespace {

using namespace std::chrono;

constexpr int kDirectories = 3;
constexpr const char* kOut = "/out";

std::string DirectoryPath(int d) {
  return "/data/d" + std::to_string(d);
}

std::string DateText(sys_days day) {
  const year_month_day date{day};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                unsigned{date.month()}, unsigned{date.day()});
  return text;
}

// ---- The model ---------------------------------------------------------------

// One archive as the model sees it: where, from which night, and whether a
// prune may take it at all.
struct TModelArchive {
  std::string path;
  int night = 0;          // of its job
  std::string started;    // that night's start
  bool doubtful = false;  // a later job for it failed, or something else replaced it
  bool present = true;    // a file is there
};

struct TModelRun {
  std::string folder, date;
  std::string started;  // the earliest of its archives'
  std::vector<std::string> reasons;
  bool going = false;
};

// The ISO week as the calendar books give it: the week's Thursday names the
// year, and the week is counted from that year's first Thursday.
std::pair<int, unsigned> IsoWeek(const std::string& date) {
  const int y = std::stoi(date.substr(0, 4));
  const unsigned m = static_cast<unsigned>(std::stoi(date.substr(5, 2)));
  const unsigned d = static_cast<unsigned>(std::stoi(date.substr(8, 2)));
  const sys_days day{year{y} / month{m} / ::std::chrono::day{d}};
  const unsigned isoWeekday = weekday{day}.iso_encoding();  // Monday 1 ... Sunday 7
  const sys_days thursday = day + days{4 - static_cast<int>(isoWeekday)};
  const year_month_day t{thursday};
  const sys_days firstOfYear{t.year() / January / 1};
  return {static_cast<int>(t.year()),
          static_cast<unsigned>((thursday - firstOfYear).count() / 7 + 1)};
}

// The rules, one after the other, over the runs newest first.
void ModelReasons(std::vector<TModelRun>& runs, const TKeepRules& rules) {
  std::vector<TModelRun*> newest;
  for (TModelRun& run : runs) newest.push_back(&run);
  std::sort(newest.begin(), newest.end(),
            [](const TModelRun* a, const TModelRun* b) { return a->started > b->started; });
  for (int i = 0; i < rules.last && i < static_cast<int>(newest.size()); ++i) {
    newest[static_cast<size_t>(i)]->reasons.push_back("last " + std::to_string(i + 1));
  }
  const auto byPeriod = [&](int count, const char* word, auto periodOf) {
    std::vector<decltype(periodOf(std::string()))> seen;
    for (TModelRun* run : newest) {
      const auto period = periodOf(run->date);
      if (std::find(seen.begin(), seen.end(), period) != seen.end()) continue;
      seen.push_back(period);
      if (static_cast<int>(seen.size()) > count) return;
      run->reasons.push_back(std::string(word) + " " + std::to_string(seen.size()));
    }
  };
  byPeriod(rules.daily, "daily", [](const std::string& date) { return date; });
  byPeriod(rules.weekly, "weekly", [](const std::string& date) { return IsoWeek(date); });
  byPeriod(rules.monthly, "monthly", [](const std::string& date) { return date.substr(0, 7); });
}

// ---- The nights ----------------------------------------------------------------

class TNights {
 public:
  explicit TNights(unsigned seed) : random_(seed) {
    manager_.SetOutputPath(kOut);
    manager_.SetSubDirNamePattern("yyyy-mm-dd");
    manager_.SetArchiverExeFileName("/usr/bin/7zz");
    for (int d = 1; d <= kDirectories; ++d)
      manager_.Directories()->Add()->SetPath(DirectoryPath(d));
    files_.directories.insert(kOut);
    day_ = sys_days{year{2026} / January / 1} + days{Pick(0, 400)};
    Unknown(std::string(kOut) + "/notes.txt");
  }

  // One night: every directory's job, now and then a file the journal does
  // not know, an archive replaced behind the journal's back, the rules
  // changed; then the prune, checked against the model.
  void Night() {
    if (night_ > 0 && (Pick(0, 9) > 0 || hour_ >= 20)) {
      day_ += days{Pick(1, 9)};
      hour_ = 2;
    } else if (night_ > 0) {
      hour_ += 6;  // once more on the same day, into the same folder
    }
    ++night_;
    const std::string date = DateText(day_);
    const std::string folder = std::string(kOut) + "/" + date;
    char time[8];
    std::snprintf(time, sizeof time, "%02d:00", hour_);
    const std::string started = date + "T" + time + ":00+01:00";
    files_.directories.insert(folder);
    for (int d = 1; d <= kDirectories; ++d) Job(d, folder, date, started);
    if (Pick(0, 4) == 0) Unknown(folder + "/left-" + std::to_string(night_) + ".txt");
    if (Pick(0, 19) == 0 && !model_.empty()) Replace();
    if (night_ == 1 || Pick(0, 3) == 0) {
      rules_ = {Pick(0, 4), Pick(0, 4), Pick(0, 3), Pick(0, 3)};
    }
    Prune();
  }

  std::string Trace() const { return trace_; }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  void Unknown(const std::string& path) {
    files_.files[path] = 5;
    unknown_.insert(path);
  }

  void Job(int d, const std::string& folder, const std::string& date, const std::string& started) {
    TJournalRecord r;
    r.directory = DirectoryPath(d);
    r.position = d;
    r.archive = folder + "/data_d" + std::to_string(d) + ".7z";
    r.started = started;
    r.ended = started;
    const int fate = Pick(0, 19);
    auto at = std::find_if(model_.begin(), model_.end(),
                           [&](const TModelArchive& a) { return a.path == r.archive; });
    const auto doubt = [&] {
      if (at != model_.end()) at->doubtful = true;
    };
    going_.erase(r.archive);
    if (fate < 13) {  // a success, its archive in place; or (12) gone again before the prune
      r.status = 0;
      r.bytes = 100 + Pick(0, 1000);
      r.tested = static_cast<TArchiveTest>(Pick(0, 2));  // not tested, no test, passed
      files_.files[r.archive] = *r.bytes;
      if (at != model_.end()) model_.erase(at);
      model_.push_back({r.archive, night_, started, false});
      if (r.tested != TArchiveTest::atNotTested) good_[d] = night_;
      if (fate == 12) {
        files_.files.erase(r.archive);
        model_.back().present = false;
      }
    } else if (fate < 15) {  // the archiver failed: an archive of the day stays
      r.status = 2;
      doubt();
    } else if (fate < 16) {  // not run (and, started without waiting, not ended either)
      if (Pick(0, 1)) r.ended.clear();
      r.error = "The directory does not exist";
      doubt();
    } else if (fate < 18) {  // its test failed: that archive is there, the job failed
      r.status = 0;
      r.error = "The test found the archive damaged";
      r.tested = TArchiveTest::atFailed;
      r.bytes = 100 + Pick(0, 1000);
      files_.files[r.archive] = *r.bytes;
      doubt();
      if (at != model_.end()) at->present = true;  // whatever file that is, it is there
      failed_[d] = night_;
    } else if (fate < 19) {  // started without waiting, and still at work
      r.ended.clear();
      doubt();
      going_.insert(r.archive);
    } else {  // the archiver warned: a success too
      r.status = 0;
      r.warning = "The archive holds no file";
      r.bytes = 32;
      files_.files[r.archive] = 32;
      if (at != model_.end()) model_.erase(at);
      model_.push_back({r.archive, night_, started, false});
    }
    (void)date;
    trace_ += " " + std::to_string(night_) + ":" + std::to_string(d) + "=" + std::to_string(fate);
    journal_.push_back(r);
  }

  // Something other than a job writes over an archive.
  void Replace() {
    TModelArchive& a = model_[static_cast<size_t>(Pick(0, static_cast<int>(model_.size()) - 1))];
    if (!a.present) return;
    files_.files[a.path] += 1;
    a.doubtful = true;
    trace_ += " replaced " + a.path;
  }

  static std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }
  static int DirectoryOf(const std::string& path) {
    return path[path.rfind('d') + 1] - '0';  // ".../data_dN.7z"
  }

  void Prune() {
    const std::string at = "seed trace:" + trace_ + " rules " + KeepRulesText(rules_);
    // The model: a run is a folder with an archive left; the newest good
    // archive of each directory, and those before a failed test that no
    // passed test has followed, stay.
    std::map<std::string, TModelRun> runs;
    for (const TModelArchive& a : model_) {
      if (!a.present) continue;
      TModelRun& run = runs[FolderOf(a.path)];
      run.folder = FolderOf(a.path);
      run.date = run.folder.substr(run.folder.size() - 10);
      if (run.started.empty() || a.started < run.started) run.started = a.started;
    }
    for (const std::string& path : going_) {
      if (runs.count(FolderOf(path))) runs[FolderOf(path)].going = true;
    }
    std::vector<TModelRun> list;
    for (auto& [folder, run] : runs) list.push_back(run);
    if (!rules_.KeepsAll()) ModelReasons(list, rules_);
    std::map<int, int> newest;  // of each directory's good archives, the night
    for (const TModelArchive& a : model_) {
      if (a.present && !a.doubtful)
        newest[DirectoryOf(a.path)] = std::max(newest[DirectoryOf(a.path)], a.night);
    }
    std::set<std::string> expectDeleted;
    for (const TModelRun& run : list) {
      if (!run.reasons.empty() || run.going || rules_.KeepsAll()) continue;
      for (const TModelArchive& a : model_) {
        if (FolderOf(a.path) != run.folder || a.doubtful || !a.present) continue;
        const int d = DirectoryOf(a.path);
        if (newest[d] == a.night) continue;
        if (failed_.count(d) && a.night < failed_[d] && good_[d] < failed_[d]) continue;
        expectDeleted.insert(a.path);
      }
    }

    const std::map<std::string, int64_t> before = files_.files;
    TPrunePlan plan = PlanPrune(manager_, rules_, journal_);
    if (rules_.KeepsAll()) {
      EXPECT_EQ(plan.nothing, "No keep rules are set: every archive is kept") << at;
      return;
    }
    ASSERT_EQ(plan.runs.size(), list.size()) << at;
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(plan.runs[i].folder, list[i].folder) << at;
      EXPECT_EQ(plan.runs[i].started, list[i].started) << at;
      EXPECT_EQ(plan.runs[i].reasons, list[i].reasons) << list[i].folder << " " << at;
      EXPECT_EQ(plan.runs[i].Kept(), !list[i].reasons.empty() || list[i].going)
          << list[i].folder << " " << plan.runs[i].keptBecause << " " << at;
    }
    const size_t journalled = journal_.size();
    ExecutePrune(manager_, plan, [&](const TJournalRecord& r) { journal_.push_back(r); });
    EXPECT_EQ(plan.stopped, "") << at;

    std::set<std::string> deleted;
    for (const auto& [path, size] : before) {
      if (!files_.files.count(path)) deleted.insert(path);
    }
    EXPECT_EQ(deleted, expectDeleted) << at;
    for (const std::string& path : unknown_) EXPECT_TRUE(files_.files.count(path)) << path << at;
    for (const auto& [d, night] : newest) {
      for (const TModelArchive& a : model_) {
        if (DirectoryOf(a.path) == d && a.night == night && !a.doubtful && a.present) {
          EXPECT_TRUE(files_.files.count(a.path)) << "the newest archive of " << d << at;
        }
      }
    }
    // A folder goes once nothing is left in it, and only then.
    for (const TModelRun& run : list) {
      bool holds = false;
      for (const auto& [path, size] : files_.files) holds = holds || FolderOf(path) == run.folder;
      EXPECT_EQ(files_.directories.count(run.folder) > 0, holds) << run.folder << at;
    }
    // Each deletion is journalled, with what it freed.
    ASSERT_EQ(journal_.size() - journalled, deleted.size()) << at;
    for (size_t i = journalled; i < journal_.size(); ++i) {
      const TJournalRecord& r = journal_[i];
      EXPECT_EQ(r.kind, TRecordKind::rkPruned) << at;
      EXPECT_TRUE(deleted.count(r.archive)) << r.archive << at;
      EXPECT_EQ(r.bytes, before.at(r.archive)) << at;
      EXPECT_FALSE(r.error) << at;
    }
    std::erase_if(model_, [&](const TModelArchive& a) { return deleted.count(a.path) > 0; });
    // Nothing is deleted twice: the journal's records of the deletions count.
    for (const TPruneRun& run : PlanPrune(manager_, rules_, journal_).runs) {
      for (const TPruneArchive& a : run.archives) {
        EXPECT_TRUE(run.Kept() || !a.keptBecause.empty()) << "again " << a.archive << at;
      }
    }
  }

  std::mt19937 random_;
  test::TPosixDay posix_;
  fakes::FakeFileSystem files_;
  ScopedOverride<IFileSystem> useFiles_{files_};
  TbkManager manager_;
  TKeepRules rules_;
  std::vector<TJournalRecord> journal_;
  std::vector<TModelArchive> model_;  // the archives a prune may consider, in the order made
  std::set<std::string> unknown_, going_;
  std::map<int, int> failed_, good_;  // each directory's latest failed and passed test, by night
  sys_days day_;
  int hour_ = 2;
  int night_ = 0;
  std::string trace_;
};

// PW_RETENTION_SEED=N runs the sequence of that seed alone.
TEST(Retention, GeneratedNightsAgreeWithAPlainModelOfTheKeepRules) {
  const char* chosen = std::getenv("PW_RETENTION_SEED");
  const unsigned first =
      chosen ? static_cast<unsigned>(std::stoul(chosen)) : std::random_device{}();
  for (unsigned i = 0; i < (chosen ? 1u : 250u); ++i) {
    const unsigned seed = first + i;
    TNights nights(seed);
    const int count = 3 + static_cast<int>(seed % 23);
    for (int n = 0; n < count; ++n) {
      nights.Night();
      if (::testing::Test::HasFailure()) {
        FAIL() << "PW_RETENTION_SEED=" << seed << " fails at night " << n + 1;
      }
    }
  }
}

// Three nights of two directories, pruned down to the last one.
class PruneCases : public ::testing::Test {
 protected:
  PruneCases() {
    manager.SetOutputPath(kOut);
    manager.SetSubDirNamePattern("yyyy-mm-dd");
    manager.SetArchiverExeFileName("/usr/bin/7zz");
    for (int d = 1; d <= 2; ++d) manager.Directories()->Add()->SetPath(DirectoryPath(d));
    files.directories.insert(kOut);
    for (const char* day : {"2026-03-02", "2026-03-03", "2026-03-04"}) {
      files.directories.insert(std::string(kOut) + "/" + day);
      for (int d = 1; d <= 2; ++d) {
        TJournalRecord r;
        r.directory = DirectoryPath(d);
        r.position = d;
        r.archive = Archive(day, d);
        r.started = r.ended = std::string(day) + "T02:30:00+01:00";
        r.status = 0;
        r.bytes = 1000 * d;
        files.files[r.archive] = *r.bytes;
        journal.push_back(r);
      }
    }
  }
  static std::string Archive(const char* day, int d) {
    return std::string(kOut) + "/" + day + "/data_d" + std::to_string(d) + ".7z";
  }
  TPrunePlan Prune() {
    TPrunePlan plan = PlanPrune(manager, {1, 0, 0, 0}, journal);
    ExecutePrune(manager, plan, [&](const TJournalRecord& r) {
      if (journalFails) throw Exception("Cannot write the journal");
      journal.push_back(r);
    });
    return plan;
  }

  test::TPosixDay posix;
  fakes::FakeFileSystem files;
  ScopedOverride<IFileSystem> useFiles{files};
  TbkManager manager;
  std::vector<TJournalRecord> journal;
  bool journalFails = false;
};

TEST_F(PruneCases, AnArchiveThatCannotBeDeletedIsJournalledAndThePruneGoesOn) {
  files.removeRefused[Archive("2026-03-02", 1)] = "Permission denied";
  EXPECT_EQ(PruneText(PlanPrune(manager, {1, 0, 0, 0}, journal), false),
            "2026-03-02T02:30:00+01:00  /out/2026-03-02  deleted: 2 archives, would free 3000 "
            "bytes (2.9 KiB)\n"
            "2026-03-03T02:30:00+01:00  /out/2026-03-03  deleted: 2 archives, would free 3000 "
            "bytes (2.9 KiB)\n"
            "2026-03-04T02:30:00+01:00  /out/2026-03-04  kept: last 1\n"
            "Total: 1 run kept, 2 deleted; 4 archives, would free 6000 bytes (5.9 KiB)\n");
  const TPrunePlan plan = Prune();
  EXPECT_EQ(PruneText(plan, true),
            "2026-03-02T02:30:00+01:00  /out/2026-03-02  deleted: 1 archive, freed 2000 bytes "
            "(2.0 KiB)\n"
            "    not deleted /out/2026-03-02/data_d1.7z: Permission denied\n"
            "2026-03-03T02:30:00+01:00  /out/2026-03-03  deleted: 2 archives, freed 3000 bytes "
            "(2.9 KiB), folder removed\n"
            "2026-03-04T02:30:00+01:00  /out/2026-03-04  kept: last 1\n"
            "Total: 1 run kept, 2 deleted; 3 archives, freed 5000 bytes (4.9 KiB)\n");
  ASSERT_EQ(journal.size(), 10u);
  EXPECT_EQ(journal[6].kind, TRecordKind::rkPruned);
  EXPECT_EQ(journal[6].archive, Archive("2026-03-02", 1));
  EXPECT_EQ(journal[6].error, "Permission denied");
  EXPECT_EQ(journal[6].bytes, std::nullopt);
  EXPECT_EQ(journal[7].bytes, 2000);
  EXPECT_TRUE(files.files.count(Archive("2026-03-02", 1)));
  EXPECT_TRUE(files.directories.count("/out/2026-03-02"));
  // The locks were taken before, and given back after.
  EXPECT_EQ(files.lockedOnce.size(), 4u);
  EXPECT_TRUE(files.locked.empty());
  // What could not go is tried again by the next prune.
  files.removeRefused.clear();
  EXPECT_EQ(PruneText(Prune(), true),
            "2026-03-02T02:30:00+01:00  /out/2026-03-02  deleted: 1 archive, freed 1000 bytes, "
            "folder removed\n"
            "2026-03-04T02:30:00+01:00  /out/2026-03-04  kept: last 1\n"
            "Total: 1 run kept, 1 deleted; 1 archive, freed 1000 bytes\n");
}

TEST_F(PruneCases, ARunWhoseJobHoldsItsLockIsKeptWhole) {
  files.locked.insert(Archive("2026-03-03", 2) + ".lock");
  const TPrunePlan plan = Prune();
  EXPECT_EQ(plan.runs[1].keptBecause, "the job of /data/d2 is at work on it");
  EXPECT_TRUE(files.files.count(Archive("2026-03-03", 1)));
  EXPECT_TRUE(files.files.count(Archive("2026-03-03", 2)));
  EXPECT_FALSE(files.files.count(Archive("2026-03-02", 1)));
  EXPECT_EQ(files.locked, std::set<std::string>{Archive("2026-03-03", 2) + ".lock"});
}

TEST_F(PruneCases, AJournalThatCannotBeWrittenStopsThePruneAfterTheDeletionItCouldNotRecord) {
  journalFails = true;
  const TPrunePlan plan = Prune();
  EXPECT_EQ(plan.stopped, "Cannot write the journal");
  EXPECT_EQ(files.removed, std::vector<std::string>{Archive("2026-03-02", 1)});
  EXPECT_NE(PruneText(plan, true).find("\nThe prune stopped: Cannot write the journal\n"),
            std::string::npos);
}

TEST_F(PruneCases, WithoutAPatternOrWithoutRulesNothingIsPlanned) {
  EXPECT_EQ(PruneText(PlanPrune(manager, {}, journal), false),
            "No keep rules are set: every archive is kept\n");
  manager.SetSubDirNamePattern("");
  EXPECT_EQ(PlanPrune(manager, {1, 0, 0, 0}, journal).runs.size(), 0u);
  EXPECT_NE(PruneText(PlanPrune(manager, {1, 0, 0, 0}, journal), false)
                .find("No subfolder pattern is set"),
            std::string::npos);
}

}  // namespace
}  // namespace pw
