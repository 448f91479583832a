// A night's plan: every directory's job, made once for the whole document at
// one moment, with clashes, duplicates and impossible paths found. The memo,
// the runs, the scripts, the preview and the companion all read a plan;
// nothing else makes a job.
#pragma once

#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "model/HoardkeeperClasses.h"

namespace pw {

struct TNightPlan {
  // OutputPath plus the dated subfolder of the plan's moment; not created.
  std::string archiveFolder;
  // Every directory's job, in the document's order (position i + 1).
  std::vector<TArchiveJob> jobs;
  // For a script that names the dated subfolder when it runs: the shell
  // command that prints its name (`date` with a format, or the companion),
  // the folder holding kRunDayMarker in its place. Empty in a plan of now.
  std::string scriptDay;

  // The job of the directory at position (from 1); fails with "No directory
  // %d in the settings file" for another number.
  const TArchiveJob& Job(int position) const;
  // The jobs of the marked directories, in order.
  std::vector<TArchiveJob> Marked() const;
  // The jobs at the given positions, each once, in the order first given;
  // fails as Job() does for a position that names no directory, before any
  // job is taken.
  std::vector<TArchiveJob> Chosen(const std::vector<int>& positions) const;
};

// The plan of the document now (Get<IClock>() names the dated subfolder).
TNightPlan MakeNightPlan(const TbkManager& manager);

// The position (from 1) of a directory of the document; 0 when it is none of
// its directories.
int PositionOf(const TbkManager& manager, const TbkDirectory& directory);

// OutputPath without one trailing separator, plus the separator and the
// formatted pattern when there is one: the folder a plan made now uses.
std::string ArchiveFolderNow(const TbkManager& manager);

// The plan a script runs. Where the style's scripts name the dated subfolder
// when they run (POSIX), its folder holds kRunDayMarker for the day and
// scriptDay is the command that names it: `date` where it can spell the
// pattern (DateCommandFormat), otherwise the companion beside this program
// (`packetwright-cli subfolder PATTERN`), which spells it as a run does.
// Elsewhere the plan of now, whose day the script keeps.
TNightPlan MakeScriptPlan(const TbkManager& manager);

// Every directory's job with the archive folder given, in the document's
// order, with clashes found: jobs that would write the same archive
// (compared as the style's file system compares names) each get an error
// naming the other directory. What MakeNightPlan makes its jobs with.
std::vector<TArchiveJob> MakeArchiveJobs(const TbkManager& manager,
                                         const std::string& archiveFolder);

// The job of one directory of the document in the plan with that folder.
TArchiveJob JobOfDirectory(const TbkManager& manager, const TbkDirectory& directory,
                           const std::string& archiveFolder);

// The path of another directory of the document whose archive would be the
// same as that of a directory at path, "ignore" left out; "" when none. For
// a path being edited, before it is in the document.
std::string FindArchiveClash(const TbkManager& manager, const std::string& path,
                             const TbkDirectory* ignore);

}  // namespace pw
