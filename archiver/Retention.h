// The prune: which runs of the output folder's dated folders the keep rules
// keep, and the deletion of the others' archives.
//
// A run is what the successful jobs of the settings file (as its journal
// records them) left in one dated folder directly beneath the output folder;
// its time is its earliest job's start. The rules keep the last N runs and
// the newest run of each of the last D days, W ISO weeks and M months that
// have a run, by the local time each start was journalled with. A prune
// deletes only archives that the journal records as made by a successful job
// of this settings file and that are still the file it recorded, and never:
//   - the newest such archive of any directory;
//   - an archive of a run still going (a job journalled as started and not
//     yet as ended, or an archive whose job's lock is held);
//   - any older archive of a directory whose newest archive failed its test,
//     until a newer one has passed its test (or has no test).
// Everything else in a dated folder (files the journal does not know,
// partial archives, other folders) is left alone, and a dated folder goes
// only once nothing at all is left in it. Each deletion is journalled at once
// as a record of the kind "pruned".
//
// Files are reached through IFileSystem, times of the prune through the
// journal's own clock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "model/KeepRules.h"

namespace pw {

struct TPruneArchive {
  std::string directory;  // as the job's record holds it
  int position = 0;
  std::string archive;
  int64_t bytes = 0;  // its size, as its job recorded it and as it still is
  // Why it stays although its run goes ("the newest archive of /data/src");
  // empty when it goes with its run.
  std::string keptBecause;
  // What the prune did with it: deleted, or why it could not.
  bool pruned = false;
  std::string error;
};

struct TPruneRun {
  std::string folder;   // the dated folder's full path
  std::string started;  // its earliest job's start, as the journal holds it
  // The rules that keep it, each with the run's rank there: "last 3",
  // "daily 2", "weekly 1", "monthly 1", in that order.
  std::vector<std::string> reasons;
  // Why it is kept whatever the rules say (a job of it is still going);
  // empty when nothing but the rules decides.
  std::string keptBecause;
  std::vector<TPruneArchive> archives;  // in the journal's order
  bool folderRemoved = false;           // after the prune: nothing was left in it

  bool Kept() const { return !reasons.empty() || !keptBecause.empty(); }
};

struct TLeftFolder {
  std::string folder;
  std::vector<std::string> locks;
};

struct TPrunePlan {
  // Why there is nothing to plan at all (no subfolder pattern, no rules, a
  // prune already at work); empty when the runs below are the plan.
  std::string nothing;
  std::string outputFolder;     // the folder whose dated folders are pruned
  std::vector<TPruneRun> runs;  // oldest first
  // Dated folders of no run that archives the journal knows have gone from,
  // with those archives' lock files: removed when nothing else is left in
  // them.
  std::vector<TLeftFolder> emptyFolders;
  // Why the prune stopped before its end (the journal could not take a
  // deletion's record); empty when it did not.
  std::string stopped;
};

// The plan from the document's output folder and pattern, the rules given
// and the journal's records in file order. Looks at each archive once; no
// file is changed.
TPrunePlan PlanPrune(const TbkManager& manager, const TKeepRules& rules,
                     const std::vector<TJournalRecord>& journal);
// The same with the journal read from its file; fails as ReadJournal does.
TPrunePlan PlanPrune(const TbkManager& manager, const TKeepRules& rules,
                     const std::string& journalFile);

// Deletes the archives of every run the plan does not keep, but those kept
// for their own reasons, and then each of those runs' folders that is left
// empty. Before a run's archives go, their jobs' locks are taken: a run of
// which any is held is kept ("at work"). Each archive that goes, or cannot,
// is handed to journal at once as a record of the kind "pruned" (bytes: its
// size; error: why it could not go) and the prune goes on; a journal that
// throws stops the prune there, with its message in plan.stopped.
void ExecutePrune(const TbkManager& manager, TPrunePlan& plan,
                  const std::function<void(const TJournalRecord&)>& journal);

// The whole prune on the journal's file: planned, executed and each record
// appended to it, with a lock beside the journal so that two prunes of one
// settings file never run at once (the second plans nothing and says so).
TPrunePlan PruneArchives(const TbkManager& manager, const TKeepRules& rules,
                         const std::string& journalFile);

// The plan as the companion prints it, a line per run, oldest first, then a
// total: "2026-12-01T02:30:00+01:00  /out/2026-12-01  deleted: 2 archives,
// would free 2400 bytes", each archive kept for its own reason, or that
// could not be deleted, on an indented line below its run. done: what the
// prune did ("freed") rather than what it would do.
std::string PruneText(const TPrunePlan& plan, bool done);

// What a prune with these rules would do now, as `prune --dry-run` prints
// it: for the window's options, below the rules being edited. Fails as
// ReadJournal does for a journal that cannot be read.
std::string PrunePreviewText(const TbkManager& manager, const TKeepRules& rules,
                             const std::string& journalFile);

// A number of bytes exactly, with a rounded size beside it once it is large:
// "2048 bytes (2.0 KiB)".
std::string BytesAndSizeText(int64_t bytes);

}  // namespace pw
