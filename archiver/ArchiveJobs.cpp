#include "archiver/ArchiveJobs.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/BatchText.h"
#include "archiver/PosixScripts.h"
#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/PathStyle.h"
#include "platform/Process.h"
#include "platform/Programs.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/Streams.h"

namespace pw {

namespace {

// Runs the archiver on the temporary name and puts the archive in place when
// 7-Zip succeeded (0) or warned (1); the partial archive goes otherwise. The
// arguments are the program and what it receives.
const char kReplaceWhenDone[] =
    "final=$1; partial=$2; shift 2; rm -f -- \"$partial\"; \"$@\"; code=$?; "
    "if [ $code -le 1 ]; then mv -f -- \"$partial\" \"$final\" || code=2; "
    "else rm -f -- \"$partial\"; fi; exit $code";

void Refuse(const TArchiveJob& job) {
  if (!job.error.empty()) throw Exception(job.error);
}

// The folder change and the archive folder: the steps before the archiver.
void Prepare(const TArchiveJob& job) {
  Refuse(job);
  Get<ICurrentDirectory>().Set(job.workingDirectory);
  ForceDirectories(job.archiveFolder);
}

// A program the shell wrapper would start: found now, so that one that
// cannot be started is reported as a direct start reports it.
void CheckStartable(const std::string& program) {
  const bool found = program.find('/') != std::string::npos
                         ? FileExists(program)
                         : Get<IProgramSearch>().FindOnPath(program).has_value();
  if (!found) throw Exception("Cannot start " + program + ": No such file or directory");
}

// The Windows-style lines of a fresh 7-Zip archive as one cmd.exe command.
std::string CmdLine(const TArchiveJob& job) {
  const std::string partial = "\"" + job.archiveArgument + "\"";
  return "/d /c \"(if exist " + partial + " del " + partial + ") & \"" + job.program + "\" " +
         BatchParameters(job) + " & (if errorlevel 2 (del " + partial + ") else move /y " +
         partial + " \"" + job.archiveFile + "\" >nul)\"";
}

TArchiveJob JobNow(const TbkManager& manager, const TbkDirectory& directory) {
  return JobOfDirectory(manager, directory, GetArchiveDirectory(manager, false));
}

}  // namespace

void StartJob(const TArchiveJob& job, bool throughShell) {
  Prepare(job);
  IProcessRunner& processes = Get<IProcessRunner>();
  if (!IsPosixStyle()) {
    if (job.MadeFresh()) {
      if (throughShell) {
        Get<IShell>().Execute("open", "cmd.exe", CmdLine(job), "", TShowCommand::swShowMinimized);
      } else {
        processes.Start("cmd.exe", CmdLine(job));
      }
    } else if (throughShell) {
      Get<IShell>().Execute("open", job.program, BatchParameters(job), "",
                            TShowCommand::swShowMinimized);
    } else {
      processes.Start(job.program, BatchParameters(job));
    }
    return;
  }
  if (!job.MadeFresh()) return processes.Start(job.program, PosixArguments(job));
  CheckStartable(job.program);
  std::vector<std::string> words = {
      "-c", kReplaceWhenDone, "sh", job.archiveFile, job.partialFile, job.program};
  for (std::string& word : PosixArguments(job)) words.push_back(std::move(word));
  processes.Start("/bin/sh", words);
}

TJobOutcome RunJobAndWait(const TArchiveJob& job, const TRunOptions& options) {
  TJobOutcome outcome;
  try {
    Refuse(job);
    IProcessRunner& processes = Get<IProcessRunner>();
    TRunOptions inDirectory = options;
    inDirectory.workingDirectory = job.workingDirectory;
    // Once the directory is known to be there, as after a folder change.
    inDirectory.prepare = [&job, &options] {
      if (options.prepare) options.prepare();
      ForceDirectories(job.archiveFolder);
      if (job.MadeFresh() && !RemoveFile(job.partialFile)) {
        throw Exception("Cannot remove the leftover " + job.partialFile);
      }
    };
    outcome.status = IsPosixStyle()
                         ? processes.RunAndWait(job.program, PosixArguments(job), inDirectory)
                         : processes.RunAndWait(job.program, BatchParameters(job), inDirectory);
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

std::string PrepareRun(const TbkManager& manager, const TbkDirectory& directory) {
  const TArchiveJob job = JobNow(manager, directory);
  Prepare(job);
  return BatchParameters(job);
}

void RunDirectory(const TbkManager& manager, const TbkDirectory& directory) {
  StartJob(JobNow(manager, directory), !IsPosixStyle());
}

void StartDirectory(const TbkManager& manager, const TbkDirectory& directory) {
  StartJob(JobNow(manager, directory), false);
}

int RunDirectoryAndWait(const TbkManager& manager, const TbkDirectory& directory) {
  const TJobOutcome outcome = RunJobAndWait(JobNow(manager, directory));
  if (!outcome.error.empty()) throw Exception(outcome.error);
  return *outcome.status;
}

void RunAllDirectories(const TbkManager& manager, std::string* failed) {
  const std::vector<TArchiveJob> jobs =
      MakeArchiveJobs(manager, GetArchiveDirectory(manager, false));
  const TbkDirectories& directories = *manager.Directories();
  std::string clashes;
  for (int i = 0; i < directories.Count(); ++i) {
    if (!directories.Items(i)->NeedArchive()) continue;
    const TArchiveJob& job = jobs[static_cast<size_t>(i)];
    // An impossible path stops the loop as a folder that cannot be entered
    // does; a clash only keeps its own two directories from running.
    if (job.clash) {
      clashes += (clashes.empty() ? "" : "\n") + job.directory + ": " + job.error;
      continue;
    }
    try {
      StartJob(job, !IsPosixStyle());
    } catch (...) {
      if (failed) *failed = job.directory;
      throw;
    }
  }
  if (!clashes.empty()) throw Exception(clashes);
}

void OpenArchiveDirectory(const TbkManager& manager) {
  Get<IShell>().Execute("open", GetArchiveDirectory(manager, false), "", "",
                        TShowCommand::swShowNormal);
}

void EditBatchFile(const std::string& fileName) {
  Get<IShell>().Execute("edit", fileName, "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
