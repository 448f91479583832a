#include "archiver/ArchiveJobs.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/Dialect.h"
#include "archiver/NightPlan.h"
#include "platform/CurrentDirectory.h"
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

// The archive folder with its missing parents; one that is still not there
// afterwards is reported, rather than what the archiver would make of it.
void MakeArchiveFolder(const TArchiveJob& job) {
  ForceDirectories(job.archiveFolder);
  if (!Get<IFileSystem>().DirectoryExists(job.archiveFolder)) {
    throw Exception("Cannot create folder " + job.archiveFolder);
  }
}

}  // namespace

void StartJob(const TArchiveJob& job, bool asShell) {
  Refuse(job);
  Get<ICurrentDirectory>().Check(job.workingDirectory);
  MakeArchiveFolder(job);
  Dialect().Start(job, asShell);
}

TJobOutcome RunJobAndWait(const TArchiveJob& job, const TRunOptions& options) {
  TJobOutcome outcome;
  try {
    Refuse(job);
    TRunOptions inDirectory = options;
    inDirectory.workingDirectory = job.workingDirectory;
    // Once the directory is known to be there, as after a folder change.
    inDirectory.prepare = [&job, &options] {
      if (options.prepare) options.prepare();
      MakeArchiveFolder(job);
      if (job.MadeFresh() && !RemoveFile(job.partialFile)) {
        throw Exception("Cannot remove the leftover " + job.partialFile);
      }
    };
    outcome.status = Dialect().RunAndWait(job, inDirectory);
  } catch (const Exception& e) {
    outcome.error = e.Message();
    return outcome;
  }
  const int status = *outcome.status;
  if (job.MadeFresh()) {
    if (status > 1) {
      RemoveFile(job.partialFile);
      return outcome;
    }
    if (!MoveFileOver(job.partialFile, job.archiveFile)) {
      outcome.error = "Cannot put " + job.partialFile + " in place of " + job.archiveFile;
      return outcome;
    }
  }
  if (status == 0) outcome.bytes = FileSize(job.archiveFile);
  return outcome;
}

void StartJobs(const std::vector<TArchiveJob>& jobs, std::string* failed) {
  std::string clashes;
  for (const TArchiveJob& job : jobs) {
    // An impossible path stops the loop as a folder that cannot be entered
    // does; a clash only keeps its own two directories from running.
    if (job.clash) {
      clashes += (clashes.empty() ? "" : "\n") + job.directory + ": " + job.error;
      continue;
    }
    try {
      StartJob(job, true);
    } catch (...) {
      if (failed) *failed = job.directory;
      throw;
    }
  }
  if (!clashes.empty()) throw Exception(clashes);
}

void RunDirectory(const TbkManager& manager, const TbkDirectory& directory) {
  StartJob(JobOfDirectory(manager, directory, ArchiveFolderNow(manager)), true);
}

void RunAllDirectories(const TbkManager& manager, std::string* failed) {
  StartJobs(MakeNightPlan(manager).Marked(), failed);
}

void OpenArchiveDirectory(const TbkManager& manager) {
  Get<IShell>().Execute("open", MakeNightPlan(manager).archiveFolder, "", "",
                        TShowCommand::swShowNormal);
}

void EditBatchFile(const std::string& fileName) {
  Get<IShell>().Execute("edit", fileName, "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
