// Starting the archiver for one or for every marked directory, and opening
// the archive folder or a batch file through the shell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Process.h"

namespace pw {

// What became of a job that was run and waited for.
struct TJobOutcome {
  std::optional<int> status;     // the archiver's exit status; none when it did not run
  std::string error;             // why it did not run, or what failed after it
  std::optional<int64_t> bytes;  // the archive's size after a run that succeeded
  bool Succeeded() const { return error.empty() && status == 0; }
};

// Makes the job's folder current (failing with an EInOutError), creates the
// archive folder and starts the archiver; returns at once. A job that must
// not run fails with its error. In the Windows style the shell is asked to
// start the archiver minimized and what became of it is not known; in the
// POSIX style the archiver is started directly, and one that cannot be
// started is an error. A 7-Zip archive made fresh replaces the old one only
// when 7-Zip succeeds, after we have gone.
void StartJob(const TArchiveJob& job, bool throughShell);
// Runs the job and waits for it; never throws for the job's own failures.
// The archiver starts in the job's working directory by itself: the
// process's current directory stays as it is, so that several threads may
// run jobs at once. The options' working directory is the job's; their stop
// may end the archiver from another thread, whose job then ends with the
// archiver's status (the 7-Zip temporary archive removed, the old archive
// kept). A directory that cannot be entered fails as a folder change would.
TJobOutcome RunJobAndWait(const TArchiveJob& job, const TRunOptions& options = {});

// The first two steps of a Windows-style run: makes the directory's path
// current and returns the archiver's parameters, with the archive folder
// created.
std::string PrepareRun(const TbkManager& manager, const TbkDirectory& directory);

// The directory's job, checked against the others, started as StartJob does
// through the shell in the Windows style.
void RunDirectory(const TbkManager& manager, const TbkDirectory& directory);
// Like RunDirectory, but always starts the archiver directly, so that one
// that cannot be started is an error in either style.
void StartDirectory(const TbkManager& manager, const TbkDirectory& directory);
// Runs the archiver directly and returns its exit status; fails when the job
// could not run or its archive could not be put in place.
int RunDirectoryAndWait(const TbkManager& manager, const TbkDirectory& directory);
// Runs every marked directory in order; a directory that cannot be entered
// ends the loop and the jobs already started keep running, and failed (when
// given) then holds that directory's path. Directories whose archives clash
// are left out and reported together, each named, after the others started.
void RunAllDirectories(const TbkManager& manager, std::string* failed = nullptr);
void OpenArchiveDirectory(const TbkManager& manager);
void EditBatchFile(const std::string& fileName);

}  // namespace pw
