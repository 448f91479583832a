#include "archiver/ArchiveJobs.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveTest.h"
#include "archiver/ArchiverReport.h"
#include "archiver/Dialect.h"
#include "archiver/JobPool.h"
#include "archiver/Journal.h"
#include "archiver/NightPlan.h"
#include "archiver/Password.h"
#include "platform/CurrentDirectory.h"
#include "platform/ProgramPath.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/Streams.h"

namespace pw {

namespace {

void Refuse(const TArchiveJob& job) {
  if (!job.error.empty()) throw Exception(job.error);
}

// What another user could use to redirect or replace the archive at or
// below path (a link planted in a folder all may write to, a folder of
// theirs there) refuses the job.
void RefuseForeign(const IFileSystem& files, const std::string& path) {
  const std::string problem = files.ForeignStep(path);
  if (!problem.empty()) throw Exception(problem);
}

// Why a folder could not be made: what keeps this user from writing to the
// nearest folder above it that is there; "" when nothing does (a file of its
// name in the way).
std::string WhyNotMade(const IFileSystem& files, std::string folder) {
  const TDialect& dialect = Dialect();
  for (;;) {
    std::string parent = dialect.FolderOf(folder);
    if (parent.size() > 1 && parent.back() == dialect.Separator()) parent.pop_back();
    if (parent.empty() || parent.size() >= folder.size()) return {};
    if (files.DirectoryExists(parent)) return files.WriteProblem(parent);
    folder = parent;
  }
}

// The archive folder with its missing parents, made only where no other
// user could redirect it: what is there is looked at before anything is
// made, and again afterwards with the archive itself, for what was planted
// meanwhile. A folder that is still not there, or that this user cannot
// write to, is reported with the reason, rather than what the archiver
// would make of it.
void MakeArchiveFolder(const TArchiveJob& job) {
  IFileSystem& files = Get<IFileSystem>();
  RefuseForeign(files, job.archiveFolder);
  ForceDirectories(job.archiveFolder);
  if (!files.DirectoryExists(job.archiveFolder)) {
    const std::string reason = WhyNotMade(files, job.archiveFolder);
    throw Exception("Cannot create folder " + job.archiveFolder +
                    (reason.empty() ? "" : ": " + reason));
  }
  RefuseForeign(files, job.archiveFile.empty() ? job.archiveFolder : job.archiveFile);
  const std::string problem = files.WriteProblem(job.archiveFolder);
  if (!problem.empty()) {
    throw Exception("Cannot write to the archive folder " + job.archiveFolder + ": " + problem);
  }
}

// The archive's lock, taken before anything of the archive is touched: one
// archive, one writer, in this process and every other. The archive folder
// is known to be writable by now; a lock file that still cannot be made (one
// among the user's own locks, a folder of its name in the way) keeps no job
// from running; null then.
std::unique_ptr<IFileLock> LockArchive(const TArchiveJob& job) {
  if (job.lockFile.empty()) return nullptr;
  const std::string folder = Dialect().FolderOf(job.lockFile);
  if (!folder.empty()) ForceDirectories(folder);
  std::unique_ptr<IFileLock> lock;
  try {
    lock = Get<IFileSystem>().TryLock(job.lockFile);
  } catch (const EFCreateError&) {
    return nullptr;
  }
  if (!lock) throw Exception(ArchiveBusyError(job));
  return lock;
}

}  // namespace

std::string ArchiveBusyError(const TArchiveJob& job) {
  return "Not started: another run is writing the archive of " + job.directory + ", " +
         job.archiveFile;
}

void StartJob(const TArchiveJob& job, bool asShell, const std::vector<std::string>& whenEnded) {
  Refuse(job);
  Get<ICurrentDirectory>().Check(job.workingDirectory);
  // Fetched first: a password that cannot be had leaves nothing made.
  const std::optional<std::string> input = PasswordInput(job);
  MakeArchiveFolder(job);
  const std::unique_ptr<IFileLock> lock = LockArchive(job);
  Dialect().Start(job, asShell, lock.get(), whenEnded, input);
}

TJobOutcome RunJobAndWait(const TArchiveJob& job, const TRunOptions& options) {
  TJobOutcome outcome;
  TArchiverReport said(job.family);
  // The test's options: the caller's, with the job's password.
  TRunOptions testing = options;
  // Held until the archive is in place and measured.
  std::unique_ptr<IFileLock> lock;
  try {
    Refuse(job);
    TRunOptions inDirectory = options;
    inDirectory.workingDirectory = job.workingDirectory;
    inDirectory.input = PasswordInput(job);
    testing.input = inDirectory.input;
    // Once the directory is known to be there, as after a folder change.
    inDirectory.prepare = [&job, &options, &lock] {
      if (options.prepare) options.prepare();
      MakeArchiveFolder(job);
      lock = LockArchive(job);
      if (job.MadeFresh() && !RemoveFile(job.partialFile)) {
        throw Exception("Cannot remove the leftover " + job.partialFile);
      }
    };
    inDirectory.output = [&said, &options](int stream, const std::string& line) {
      said.Line(stream, line);
      if (options.output) options.output(stream, line);
    };
    outcome.status = Dialect().RunAndWait(job, inDirectory);
  } catch (const Exception& e) {
    outcome.error = e.Message();
    return outcome;
  }
  const int status = *outcome.status;
  outcome.stopped = StopAsked(options);
  if (outcome.stopped) {
    // Whatever the archiver made of it, a stopped night changes nothing.
    if (job.MadeFresh()) RemoveFile(job.partialFile);
    return outcome;
  }
  if (job.MadeFresh()) {
    if (status > 1) {
      RemoveFile(job.partialFile);
      outcome.warning = JobWarning(job, status, said);
      return outcome;
    }
    // An archiver that made no archive has nothing to test; the move says so.
    if (job.testArchive && FileExists(job.partialFile)) {
      const TArchiveTestResult test = TestArchive(job, job.partialFile, testing);
      if (test.stopped) {
        RemoveFile(job.partialFile);
        outcome.stopped = true;
        return outcome;
      }
      outcome.tested = test.tested;
      outcome.error = test.error;
    }
    if (!MoveFileOver(job.partialFile, job.archiveFile)) {
      outcome.error = (outcome.error.empty() ? "" : outcome.error + "; ") + "Cannot put " +
                      job.partialFile + " in place of " + job.archiveFile;
      return outcome;
    }
  } else if (job.testArchive && status <= 1) {
    // An archive updated in place is tested there; a failed test fails the
    // job here too, and a stop during it stops the job.
    const TArchiveTestResult test = TestArchive(job, job.archiveFile, testing);
    if (test.stopped) {
      outcome.stopped = true;
      return outcome;
    }
    outcome.tested = test.tested;
    outcome.error = test.error;
  }
  outcome.warning = JobWarning(job, status, said);
  // A warning (1) leaves an archive too, of what could be read.
  if (status <= 1) outcome.bytes = FileSize(job.archiveFile);
  return outcome;
}

namespace {

// The records of the jobs a window starts without waiting for them. A record
// that cannot be written is held back until the jobs have started.
class TStartJournal {
 public:
  explicit TStartJournal(std::string file)
      : file_(std::move(file)), companion_(!file_.empty() && FileExists(CompanionProgram())) {}

  void Add(const TArchiveJob& job, const std::string& started, const std::string& error) {
    if (file_.empty()) return;
    TJobOutcome outcome;
    outcome.error = error;
    try {
      AppendJournalRecord(file_, JobRecord(job, started, outcome, false));
    } catch (const Exception& e) {
      if (failure_.empty()) failure_ = e.Message();
    }
  }
  // The companion's call that journals the job's end, once its archiver has
  // ended; none without a journal or a companion.
  std::vector<std::string> WhenEnded(const TArchiveJob& job, const std::string& started) const {
    if (!companion_) return {};
    std::string line = JournalLine(JobRecord(job, started, TJobOutcome{}, false));
    line.pop_back();  // its line end
    return {CompanionProgram(), "journal-end", file_, line};
  }
  void Check() const {
    if (!failure_.empty()) {
      throw Exception(failure_ + "\n\nThe runs go on, but are not written into the journal.");
    }
  }

 private:
  std::string file_;
  bool companion_;  // the companion is there to journal the jobs' ends
  std::string failure_;
};

}  // namespace

void StartJobs(const std::vector<TArchiveJob>& jobs, std::string* failed,
               const std::string& journalFile) {
  TStartJournal journal(journalFile);
  std::string clashes;
  for (const TArchiveJob& job : jobs) {
    const std::string started = JournalTimeNow();
    // An impossible path stops the loop as a folder that cannot be entered
    // does; a clash only keeps its own two directories from running.
    if (job.clash) {
      journal.Add(job, started, job.error);
      clashes += (clashes.empty() ? "" : "\n") + job.directory + ": " + job.error;
      continue;
    }
    try {
      StartJob(job, true, journal.WhenEnded(job, started));
    } catch (const Exception& e) {
      journal.Add(job, started, e.Message());
      if (failed) *failed = job.directory;
      throw;
    }
    journal.Add(job, started, {});
  }
  if (!clashes.empty()) throw Exception(clashes);
  journal.Check();
}

void RunDirectory(const TbkManager& manager, const TbkDirectory& directory,
                  const std::string& journalFile) {
  StartJobs({JobOfDirectory(manager, directory, ArchiveFolderNow(manager))}, nullptr, journalFile);
}

void RunAllDirectories(const TbkManager& manager, std::string* failed,
                       const std::string& journalFile) {
  StartJobs(MakeNightPlan(manager).Marked(), failed, journalFile);
}

void OpenArchiveDirectory(const TbkManager& manager) {
  Get<IShell>().Execute("open", MakeNightPlan(manager).archiveFolder, "", "",
                        TShowCommand::swShowNormal);
}

void EditBatchFile(const std::string& fileName) {
  Get<IShell>().Execute("edit", fileName, "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
