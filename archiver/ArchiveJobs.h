// Starting the archiver for the jobs of a night's plan, waiting for it or
// not, and opening the archive folder or a batch file through the shell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Process.h"

namespace pw {

// What became of a job that was run and waited for.
struct TJobOutcome {
  std::optional<int> status;     // the archiver's exit status; none when it did not run
  std::string error;             // why it did not run, or what failed after it
  std::optional<int64_t> bytes;  // the archive's size once it is in place (status 0 or 1)
  // What the archiver warned of (see JobWarning); empty for nothing.
  std::string warning;
  // A stop was asked for while the archiver ran (TRunStop, or an ending
  // signal passed on): whatever it returned, its archive was not put in place.
  bool stopped = false;
  // What the archiver's test of the new archive found (the job's
  // testArchive): left out where no test was made.
  TArchiveTest tested = TArchiveTest::atNotTested;
  bool Succeeded() const { return error.empty() && status == 0 && !stopped; }
};

// Checks that the job's folder can be entered (failing with the EInOutError
// of a folder change), creates the archive folder and starts the archiver in
// the job's folder; returns at once. The process's current directory stays
// as it is. A job that must not run fails with its error. asShell: as the
// window starts it (in the Windows style the shell is asked to start the
// archiver minimized, and what became of it is not known); otherwise, and
// always in the POSIX style, the archiver is started directly, and one that
// cannot be started is an error. A 7-Zip archive made fresh replaces the old
// one only when 7-Zip succeeds, after we have gone.
//
// Both take the lock of the job's archive first (its lockFile): a job
// whose archive another job is writing, in this process or another, fails
// with ArchiveBusyError and touches nothing. A waited run holds the lock
// until its archive is in place; a start hands it to the archiver in the
// POSIX style, and only checks it in the Windows style, whose shell cannot
// take it over.
// whenEnded: what the POSIX style starts once the archiver has ended, with its
// exit status as the last argument (see TDialect::Start).
void StartJob(const TArchiveJob& job, bool asShell, const std::vector<std::string>& whenEnded = {});
// Runs the job and waits for it; never throws for the job's own failures.
// The archiver starts in the job's working directory by itself, so that
// several threads may run jobs at once. The options' working directory is
// the job's; their stop may end the archiver from another thread, whose job
// then ends stopped with the archiver's status (the 7-Zip temporary archive
// removed, the old archive kept, even where the archiver ended with 0 before
// the stop reached it); an ending signal that TEndingSignalsPassedOn keeps
// does the same. A directory that cannot be entered fails as a folder change
// would. The archiver's output comes to the options' output, when given, as
// it comes; the job reads it for its warning either way.
//
// A job with testArchive whose archiver left an archive (status 0 or 1) has
// it tested (TestArchive) before it counts as a success: a new 7-Zip archive
// under its temporary name, before it is put in place, with the same stop
// and output; another archiver's is said to have no test the program knows.
// A failed test fails the job (its error says what the archiver reported)
// and the archive is still put in place, for inspection; a stop during the
// test ends the job as a stop during the archiver does.
TJobOutcome RunJobAndWait(const TArchiveJob& job, const TRunOptions& options = {});

// "Not started: another run is writing the archive of DIRECTORY, ARCHIVE".
std::string ArchiveBusyError(const TArchiveJob& job);

// Starts the jobs in order as the window does; a directory that cannot be
// entered ends the loop and the jobs already started keep running, and
// failed (when given) then holds that directory's path. Jobs whose archives
// clash are left out and reported together, each named, after the others
// started. With a journal file, each job that started is journalled as
// started (no status, no end), and each that could not start with its error;
// in the POSIX style, where the companion is beside the program, the
// companion journals what became of each started job once its archiver has
// ended (`journal-end`). A journal that cannot be written keeps no job from
// starting, and is reported once they have.
void StartJobs(const std::vector<TArchiveJob>& jobs, std::string* failed = nullptr,
               const std::string& journalFile = {});

// The directory's job in the plan of the document now, started as the
// window starts it, and journalled as StartJobs journals it.
void RunDirectory(const TbkManager& manager, const TbkDirectory& directory,
                  const std::string& journalFile = {});
// The marked directories of the plan of the document now, through StartJobs.
void RunAllDirectories(const TbkManager& manager, std::string* failed = nullptr,
                       const std::string& journalFile = {});
// The archive folder of the plan of the document now, through the shell.
void OpenArchiveDirectory(const TbkManager& manager);
void EditBatchFile(const std::string& fileName);

}  // namespace pw
