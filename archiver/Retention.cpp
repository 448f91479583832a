#include "archiver/Retention.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "archiver/Dialect.h"
#include "archiver/JournalResult.h"
#include "archiver/NightPlan.h"
#include "archiver/NightSchedule.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"

namespace pw {

namespace {

// The folder a path lies in, without its last separator unless it is the
// root ("/", "C:\").
std::string ParentOf(const TDialect& dialect, const std::string& path) {
  std::string folder = dialect.FolderOf(path);
  if (folder.size() > dialect.ShortestFolder() && dialect.IsSeparator(folder.back())) {
    folder.pop_back();
  }
  return folder;
}

std::string WithoutTrailingSeparator(const TDialect& dialect, std::string path) {
  while (path.size() > dialect.ShortestFolder() && dialect.IsSeparator(path.back())) {
    path.pop_back();
  }
  return path;
}

// What the journal holds of one archive's path since a prune last deleted it.
struct TPathState {
  int latestJob = -1;      // its latest job's record
  int latestSuccess = -1;  // its latest successful job's record
};

// What the journal holds of a directory's tests.
struct TTests {
  int lastFailed = -1;  // the latest record whose archive failed its test
  int lastGood = -1;    // the latest successful one that passed, or has no test
};

// A run's archive as the plan finds it on the disk.
struct TMember {
  int record = 0;  // its successful job's record
  std::string folderKey;
  std::string keptBecause;
  bool intact = false;  // still the file its job recorded, and its latest job's
};

struct TRunBuild {
  TPruneRun run;
  int64_t seconds = 0;   // of its earliest start (UTC), for the order
  int firstRecord = 0;   // of its earliest start, for runs that started together
  TLocalTime local = 0;  // that start on the local calendar it was journalled with
  std::vector<size_t> members;
};

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The keys of a run's day, ISO week (its Monday) and month on the local calendar.
struct TPeriods {
  int64_t day, week, month;
};
TPeriods PeriodsOf(TLocalTime local) {
  const int64_t day = FloorDiv(local, 86400);
  // 1970-01-01 was a Thursday, three days after a Monday.
  const int64_t monday = day - (((day + 3) % 7) + 7) % 7;
  const std::chrono::year_month_day date{
      std::chrono::sys_days{std::chrono::days{static_cast<int>(day)}}};
  const int64_t month =
      static_cast<int64_t>(static_cast<int>(date.year())) * 12 + unsigned{date.month()} - 1;
  return {day, monday, month};
}

}  // namespace

std::string BytesAndSizeText(int64_t bytes) {
  std::string text = Plural(bytes, "byte", "bytes");
  if (bytes < 1024) return text;
  const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
  double size = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (size >= 1024 && unit + 1 < std::size(units)) size /= 1024, ++unit;
  char rounded[32];
  std::snprintf(rounded, sizeof rounded, " (%.1f %s)", size, units[unit]);
  return text + rounded;
}

TPrunePlan PlanPrune(const TbkManager& manager, const TKeepRules& rules,
                     const std::vector<TJournalRecord>& journal) {
  const TDialect& dialect = Dialect();
  TPrunePlan plan;
  plan.outputFolder = WithoutTrailingSeparator(dialect, dialect.ExpandHome(manager.OutputPath()));
  if (manager.SubDirNamePattern().empty()) {
    plan.nothing =
        "No subfolder pattern is set: the archives lie in the output folder itself, and only "
        "dated folders are pruned";
    return plan;
  }
  if (rules.KeepsAll()) {
    plan.nothing = "No keep rules are set: every archive is kept";
    return plan;
  }

  // The journal in one pass: each path's latest job and latest success since
  // its last deletion, each directory's tests.
  std::unordered_map<std::string, TPathState> paths;
  std::vector<std::string> pathOrder;  // each path once, in the order first met
  std::unordered_map<std::string, TTests> tests;
  std::set<std::string> prunedFrom;  // archives a prune deleted
  for (int i = 0; i < static_cast<int>(journal.size()); ++i) {
    const TJournalRecord& record = journal[static_cast<size_t>(i)];
    const std::string key = dialect.PrefixKey(record.archive);
    if (!record.IsJob()) {
      // Deleted: what the journal held of it is gone with it.
      if (!record.error && paths.erase(key)) prunedFrom.insert(record.archive);
      continue;
    }
    if (record.archive.empty()) continue;
    const auto [at, added] = paths.try_emplace(key);
    if (added) pathOrder.push_back(key);
    at->second.latestJob = i;
    const bool archived = JobArchived(record);
    if (archived) at->second.latestSuccess = i;
    TTests& t = tests[record.directory];
    if (record.tested == TArchiveTest::atFailed) t.lastFailed = i;
    if (archived &&
        (record.tested == TArchiveTest::atPassed || record.tested == TArchiveTest::atNoTest)) {
      t.lastGood = i;
    }
  }

  // The output folder each directory's archives go to (a relative one lies
  // in the directory), as a key.
  std::unordered_map<std::string, std::string> bases;
  const auto baseKey = [&](const std::string& directory) -> const std::string& {
    auto [at, added] = bases.try_emplace(directory);
    if (added) {
      at->second = dialect.PrefixKey(WithoutTrailingSeparator(
          dialect, dialect.Normal(dialect.Resolved(dialect.ExpandHome(manager.OutputPath()),
                                                   dialect.ExpandHome(directory)))));
    }
    return at->second;
  };

  IFileSystem& files = Get<IFileSystem>();
  std::vector<TMember> members;
  std::unordered_set<std::string> going;  // folders with a job not yet ended
  std::unordered_map<std::string, std::string> goingJob;
  // The members of each directory, newest last.
  std::unordered_map<std::string, std::vector<size_t>> ofDirectory;
  // Dated folders that archives have gone from, with the locks of those.
  std::map<std::string, std::vector<std::string>> goneFrom;
  std::unordered_set<std::string> once;
  for (const std::string& key : pathOrder) {
    if (!once.insert(key).second) continue;
    const auto found = paths.find(key);
    if (found == paths.end()) continue;  // deleted since
    const TPathState& state = found->second;
    if (state.latestJob >= 0) {
      const TJournalRecord& latest = journal[static_cast<size_t>(state.latestJob)];
      // Started and not yet ended; one that could not start has its error.
      if (latest.ended.empty() && !latest.error) {
        const std::string folder = dialect.PrefixKey(ParentOf(dialect, latest.archive));
        if (going.insert(folder).second) goingJob[folder] = latest.directory;
      }
    }
    if (state.latestSuccess < 0) continue;
    const TJournalRecord& record = journal[static_cast<size_t>(state.latestSuccess)];
    const std::string folder = ParentOf(dialect, record.archive);
    const std::string name = record.archive.substr(dialect.FolderOf(record.archive).size());
    if (name.empty() || folder.size() <= dialect.ShortestFolder() ||
        dialect.PrefixKey(ParentOf(dialect, folder)) != baseKey(record.directory)) {
      continue;  // not in a dated folder of the output folder
    }
    TEntryFacts facts;
    if (!files.LookAt(record.archive, facts)) {
      // Gone already, perhaps by a prune that was stopped before it
      // journalled the deletion: its folder may be left empty.
      goneFrom[folder].push_back(record.archive + ".lock");
      continue;
    }
    TMember member;
    member.record = state.latestSuccess;
    member.folderKey = dialect.PrefixKey(folder);
    if (state.latestJob != state.latestSuccess) {
      member.keptBecause =
          "a later job for it did not succeed, so it may not be the archive recorded";
    } else if (facts.kind != TEntryKind::ekFile) {
      member.keptBecause = "it is no longer a file";
    } else if (!record.bytes || *record.bytes != facts.size) {
      member.keptBecause = "its size is not the one its job recorded: something replaced it";
    } else {
      member.intact = true;
    }
    ofDirectory[record.directory].push_back(members.size());
    members.push_back(std::move(member));
  }

  // Never the newest archive of a directory, nor what a failed test leaves
  // as its last good one.
  for (auto& [directory, list] : ofDirectory) {
    std::sort(list.begin(), list.end(),
              [&](size_t a, size_t b) { return members[a].record < members[b].record; });
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
      if (!members[*it].intact) continue;
      members[*it].keptBecause = "the newest archive of " + directory;
      break;
    }
    const auto t = tests.find(directory);
    if (t == tests.end() || t->second.lastFailed < 0 || t->second.lastGood > t->second.lastFailed) {
      continue;
    }
    for (const size_t m : list) {
      if (members[m].record < t->second.lastFailed && members[m].keptBecause.empty()) {
        members[m].keptBecause =
            "the newest archive of " + directory + " failed its test, and none since has passed";
      }
    }
  }

  // The runs.
  std::vector<TRunBuild> runs;
  std::unordered_map<std::string, size_t> runOf;
  for (size_t m = 0; m < members.size(); ++m) {
    const TJournalRecord& record = journal[static_cast<size_t>(members[m].record)];
    const auto [at, added] = runOf.try_emplace(members[m].folderKey, runs.size());
    if (added) {
      runs.emplace_back();
      runs.back().run.folder = ParentOf(dialect, record.archive);
      runs.back().firstRecord = -1;
    }
    TRunBuild& build = runs[at->second];
    build.members.push_back(m);
    const std::optional<int64_t> seconds = JournalSeconds(record.started);
    const std::optional<TLocalTime> local = LocalTimeOfJournal(record.started);
    if (!seconds || !local) {
      build.run.keptBecause = "the start of a job of it is no time the journal knows";
      continue;
    }
    if (build.firstRecord < 0 || *seconds < build.seconds ||
        (*seconds == build.seconds && members[m].record < build.firstRecord)) {
      build.seconds = *seconds;
      build.firstRecord = members[m].record;
      build.local = *local;
      build.run.started = record.started;
    }
  }
  std::sort(runs.begin(), runs.end(), [](const TRunBuild& a, const TRunBuild& b) {
    return a.seconds != b.seconds ? a.seconds < b.seconds : a.firstRecord < b.firstRecord;
  });

  // The rules, newest run first.
  struct TRule {
    int count;
    const char* word;
    int64_t TPeriods::*period;  // none for the last runs
  };
  const TRule kRules[] = {{rules.last, "last", nullptr},
                          {rules.daily, "daily", &TPeriods::day},
                          {rules.weekly, "weekly", &TPeriods::week},
                          {rules.monthly, "monthly", &TPeriods::month}};
  for (const TRule& rule : kRules) {
    if (rule.count <= 0) continue;
    int rank = 0;
    std::optional<int64_t> lastPeriod;
    for (auto it = runs.rbegin(); it != runs.rend() && rank <= rule.count; ++it) {
      if (rule.period) {
        // Newest first: the first run of a period is its newest.
        const int64_t period = PeriodsOf(it->local).*rule.period;
        if (lastPeriod && *lastPeriod == period) continue;
        lastPeriod = period;
      }
      if (++rank > rule.count) break;
      it->run.reasons.push_back(std::string(rule.word) + " " + std::to_string(rank));
    }
  }

  for (TRunBuild& build : runs) {
    const std::string key = dialect.PrefixKey(build.run.folder);
    if (going.count(key) && build.run.keptBecause.empty()) {
      build.run.keptBecause = "a job of " + goingJob[key] + " in it has not ended yet";
    }
    for (const size_t m : build.members) {
      const TJournalRecord& record = journal[static_cast<size_t>(members[m].record)];
      TPruneArchive archive;
      archive.directory = record.directory;
      archive.position = record.position;
      archive.archive = record.archive;
      archive.bytes = record.bytes.value_or(0);
      archive.keptBecause = members[m].keptBecause;
      build.run.archives.push_back(std::move(archive));
    }
    goneFrom.erase(build.run.folder);
    plan.runs.push_back(std::move(build.run));
  }
  // Never the folder that a run now would write into: it is empty for a
  // moment before its first archive's lock is taken.
  for (const std::string& archive : prunedFrom) {
    const std::string folder = ParentOf(dialect, archive);
    TEntryFacts facts;
    if (!runOf.count(dialect.PrefixKey(folder)) && files.LookAt(folder, facts)) {
      goneFrom[folder].push_back(archive + ".lock");
    }
  }
  goneFrom.erase(ArchiveFolderNow(manager));
  for (auto& [folder, locks] : goneFrom) plan.emptyFolders.push_back({folder, std::move(locks)});
  return plan;
}

TPrunePlan PlanPrune(const TbkManager& manager, const TKeepRules& rules,
                     const std::string& journalFile) {
  if (manager.SubDirNamePattern().empty() || rules.KeepsAll()) {
    return PlanPrune(manager, rules, std::vector<TJournalRecord>{});
  }
  return PlanPrune(manager, rules, ReadJournal(journalFile));
}

void ExecutePrune(const TbkManager& manager, TPrunePlan& plan,
                  const std::function<void(const TJournalRecord&)>& journal) {
  const TDialect& dialect = Dialect();
  IFileSystem& files = Get<IFileSystem>();
  const std::string started = JournalTimeNow();
  for (TPruneRun& run : plan.runs) {
    if (run.Kept()) continue;
    // The locks its jobs take, as the plan of a night in this folder names them.
    std::unordered_map<std::string, std::string> lockOf;
    for (const TArchiveJob& job : MakeArchiveJobs(manager, run.folder)) {
      if (!job.lockFile.empty()) lockOf[dialect.PrefixKey(job.archiveFile)] = job.lockFile;
    }
    std::vector<std::unique_ptr<IFileLock>> locks;
    std::string busy;
    for (const TPruneArchive& archive : run.archives) {
      if (!archive.keptBecause.empty()) continue;
      const auto named = lockOf.find(dialect.PrefixKey(archive.archive));
      const std::string lockFile =
          named != lockOf.end() ? named->second : archive.archive + ".lock";
      try {
        std::unique_ptr<IFileLock> lock = files.TryLock(lockFile);
        if (!lock) {
          busy = archive.directory;
          break;
        }
        locks.push_back(std::move(lock));
      } catch (const Exception&) {
        // No lock can be made there, so no job holds one either.
      }
    }
    if (!busy.empty()) {
      run.keptBecause = "the job of " + busy + " is at work on it";
      continue;
    }
    bool emptied = true;
    for (TPruneArchive& archive : run.archives) {
      if (!archive.keptBecause.empty()) {
        emptied = false;
        continue;
      }
      TEntryFacts facts;
      if (!files.LookAt(archive.archive, facts)) continue;  // gone meanwhile
      if (facts.kind != TEntryKind::ekFile || facts.size != archive.bytes) {
        archive.keptBecause = "it changed since the prune looked at it";
        emptied = false;
        continue;
      }
      TJournalRecord record;
      record.kind = TRecordKind::rkPruned;
      record.directory = archive.directory;
      record.position = archive.position;
      record.archive = archive.archive;
      record.started = started;
      archive.error = files.RemoveFileAt(archive.archive);
      record.ended = JournalTimeNow();
      if (archive.error.empty()) {
        archive.pruned = true;
        record.bytes = archive.bytes;
      } else {
        record.error = archive.error;
        emptied = false;
      }
      try {
        journal(record);
      } catch (const Exception& e) {
        plan.stopped = e.Message();
        return;
      }
    }
    locks.clear();  // each takes its lock file with it
    if (emptied) run.folderRemoved = files.RemoveEmptyFolder(run.folder).empty();
  }
  // A prune or job that was killed leaves its lock file behind; one that
  // nobody holds goes with the lock taken on it.
  for (const TLeftFolder& left : plan.emptyFolders) {
    bool held = false;
    for (const std::string& lockFile : left.locks) {
      TEntryFacts facts;
      if (!files.LookAt(lockFile, facts)) continue;
      try {
        held = held || !files.TryLock(lockFile);
      } catch (const Exception&) {
        held = true;
      }
    }
    if (!held) files.RemoveEmptyFolder(left.folder);
  }
}

TPrunePlan PruneArchives(const TbkManager& manager, const TKeepRules& rules,
                         const std::string& journalFile) {
  std::unique_ptr<IFileLock> lock;
  try {
    lock = Get<IFileSystem>().TryLock(journalFile + ".prune.lock");
    if (!lock) {
      TPrunePlan plan;
      plan.nothing = "Another prune of these settings is at work: nothing is pruned now";
      return plan;
    }
  } catch (const Exception&) {
    // A folder where no lock can be made cannot take the journal's records
    // either: the first deletion stops the prune.
  }
  TPrunePlan plan = PlanPrune(manager, rules, journalFile);
  ExecutePrune(manager, plan,
               [&](const TJournalRecord& record) { AppendJournalRecord(journalFile, record); });
  return plan;
}

std::string PruneText(const TPrunePlan& plan, bool done) {
  if (!plan.nothing.empty()) return plan.nothing + "\n";
  if (plan.runs.empty()) {
    return "No run lies in a dated folder of " + plan.outputFolder + ": nothing to prune\n";
  }
  std::string text;
  int kept = 0, deleted = 0;
  int64_t archives = 0, bytes = 0;
  const char* const frees = done ? "freed " : "would free ";
  for (const TPruneRun& run : plan.runs) {
    text += run.started + "  " + run.folder + "  ";
    std::string below;
    if (run.Kept()) {
      ++kept;
      text += "kept: ";
      for (size_t i = 0; i < run.reasons.size(); ++i) text += (i ? ", " : "") + run.reasons[i];
      if (!run.keptBecause.empty()) text += (run.reasons.empty() ? "" : "; ") + run.keptBecause;
      text += "\n";
      continue;
    }
    ++deleted;
    int64_t runArchives = 0, runBytes = 0;
    for (const TPruneArchive& archive : run.archives) {
      if (!archive.keptBecause.empty()) {
        below += "    kept " + archive.archive + ": " + archive.keptBecause + "\n";
      } else if (!archive.error.empty()) {
        below += "    not deleted " + archive.archive + ": " + archive.error + "\n";
      } else if (archive.pruned || !done) {
        ++runArchives;
        runBytes += archive.bytes;
      }
    }
    archives += runArchives;
    bytes += runBytes;
    text += "deleted: " + Plural(runArchives, "archive", "archives") + ", " + frees +
            BytesAndSizeText(runBytes) + (run.folderRemoved ? ", folder removed" : "") + "\n" + below;
  }
  text += "Total: " + Plural(kept, "run", "runs") + " kept, " + std::to_string(deleted) +
          " deleted; " + Plural(archives, "archive", "archives") + ", " + frees + BytesAndSizeText(bytes) +
          "\n";
  if (!plan.stopped.empty()) text += "The prune stopped: " + plan.stopped + "\n";
  return text;
}

std::string PrunePreviewText(const TbkManager& manager, const TKeepRules& rules,
                             const std::string& journalFile) {
  return PruneText(PlanPrune(manager, rules, journalFile), false);
}

}  // namespace pw
