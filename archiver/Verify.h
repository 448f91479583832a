// Whether a directory's latest archive can still be read and holds what its
// job would take now: the archiver's test of the archive, and its listing
// against a fresh preview of the job.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Process.h"

namespace pw {

// The newest archive of a directory that a job left and that is still there.
struct TLatestArchive {
  std::string archive;  // its full name
  std::string started;  // when the job that made it started
};

// For each directory, by its path as the journal holds it: the newest
// record of a job that archived (OK or a warning) whose archive exists.
// Directories without one are not in it. Fails as ReadJournal fails.
std::map<std::string, TLatestArchive> LatestArchives(const std::string& journalFile);

// The most names the report's text gives of each kind of difference.
constexpr size_t kMostNamesShown = 5;

struct TVerifyReport {
  int position = 0;       // from 1, as `show` counts
  std::string directory;  // as the settings file stores it
  TLatestArchive latest;  // archive empty: the directory has no archive to verify
  // atPassed or atFailed; atNoTest where the program knows no test of the
  // archiver; atNotTested where there was nothing to test or the test could
  // not be run (error says why).
  TArchiveTest tested = TArchiveTest::atNotTested;
  // What the test found when it failed, or why the archive could not be
  // tested or compared; empty when nothing went wrong.
  std::string error;
  // The listing was compared with the preview; false where the program
  // cannot list the archive or the job cannot be previewed (error says why).
  bool compared = false;
  bool approximate = false;  // the preview may differ from the archiver (TPreview)
  int64_t archivedFiles = 0;  // the files the archive holds
  // The files the job would take now that the archive lacks, and those the
  // archive holds that the job would not take now, each sorted by name, as
  // the preview and the listing name them.
  std::vector<std::string> lacking, unwanted;

  // The archive failed its test, or something kept it from being tested or
  // compared; a directory without an archive, an archiver without a known
  // test or differences alone do not fail.
  bool Failed() const;
};

// Verifies the archive given (none: the directory has no archive) of the
// directory at position (from 1): tests it with the document's archiver, as
// a run tests a new archive (TestArchive, with the options' stop), and
// compares its listing with a preview of the directory's job in the plan of
// now. Fails as TNightPlan::Job fails for a position that names no
// directory; never for what it finds.
TVerifyReport VerifyArchive(const TbkManager& manager, int position, const TLatestArchive& latest,
                            const TRunOptions& options = {});
// The same for the directory's latest archive in the journal.
TVerifyReport VerifyLatestArchive(const TbkManager& manager, int position,
                                  const std::string& journalFile, const TRunOptions& options = {});

// The report as the companion's verify prints it, lines ended by "\n":
//   [1] /home/user/src
//       Archive: /home/user/MyArchives/2026-12-08/home_user_src.7z (made 2026-12-08T02:30:00+01:00)
//       Test: passed
//       Lacks 1 file the job would take now: notes/new.txt
//       Holds 2 files the job would not take now: a.tmp, b.tmp
std::string VerifyReportText(const TVerifyReport& report);

}  // namespace pw
