#include "archiver/NightPlan.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "archiver/DateTimeFormat.h"
#include "archiver/Dialect.h"
#include "archiver/Password.h"
#include "archiver/PosixScripts.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/ProgramPath.h"
#include "platform/Services.h"
#include "platform/SettingsLocation.h"

namespace pw {

namespace {

std::string BaseName(const std::string& path) {
  const size_t last = path.find_last_of("/\\");
  return last == std::string::npos ? path : path.substr(last + 1);
}

// What path holds below folder ("" when they are the same); false when path
// does not lie inside folder.
bool Below(const TDialect& dialect, const std::string& path, const std::string& folder,
           std::string& rest) {
  const std::string p = dialect.PrefixKey(path);
  const std::string f = dialect.PrefixKey(folder);
  if (p == f) {
    rest.clear();
    return true;
  }
  const char sep = dialect.Separator();
  const std::string prefix = f.back() == sep ? f : f + sep;
  if (p.rfind(prefix, 0) != 0) return false;
  rest = path.substr(prefix.size());
  return true;
}

// The archive's names for a directory at path: the finished archive, the one
// handed to the archiver, and the temporary one where it is made fresh.
struct TArchiveNames {
  std::string workingDirectory, folder, argument, file, partial;
};

TArchiveNames ArchiveNames(const TDialect& dialect, const std::string& path,
                           const std::string& archiveFolder, TArchiverFamily family) {
  TArchiveNames names;
  names.workingDirectory = dialect.ExpandHome(path);
  const std::string folder = dialect.ExpandHome(archiveFolder);
  // No folder at all is refused when a run creates it; the names stay as
  // the command text has always shown them.
  names.folder =
      folder.empty() ? folder : dialect.Normal(dialect.Resolved(folder, names.workingDirectory));
  const std::string flat = dialect.ArchiveFlatName(path);
  const std::string extension = ArchiveExtension(family);
  // An archiver picks the archive's type from a dot in its name; a name
  // without one is handed over as it is and the archiver adds its own.
  const bool dotted = flat.find('.') != std::string::npos;
  const std::string sep(1, dialect.Separator());
  const std::string full = (names.folder == sep ? "" : names.folder) + sep;
  const std::string handed = dialect.HandedFolder(folder + sep, full);
  names.file = full + flat + extension;
  if (family == TArchiverFamily::af7Zip) {
    names.partial = full + flat + ".incomplete.7z";
    names.argument = handed + flat + ".incomplete.7z";
  } else {
    names.argument = handed + flat + (dotted ? extension : "");
  }
  return names;
}

// The exclude entries that keep the archive folder out of the archive when
// it lies inside the directory: the output folder; or, where that is the
// directory itself, the directory's own archives there and in the day
// subfolders beside today's. The folders are compared as written and, where
// that finds the one outside the other, as the file system resolves them,
// so that a link in either path does not hide the archive folder inside.
// namesExcluded tells that the archive's own names were left out, where a
// file beside them would go into the archive.
std::vector<TMaskEntry> ArchiveFolderExcludes(const TDialect& dialect, const TbkManager& manager,
                                              const TArchiveJob& job, bool& namesExcluded) {
  namesExcluded = false;
  if (job.archiveFolder.empty()) return {};
  const std::string base = dialect.Normal(
      dialect.Resolved(dialect.ExpandHome(manager.OutputPath()), job.workingDirectory));
  const std::string directory = dialect.Normal(job.workingDirectory);
  std::string rest;
  if (!Below(dialect, base, directory, rest)) {
    const IFileSystem& files = Get<IFileSystem>();
    if (!Below(dialect, dialect.Normal(files.ResolvedPath(base)),
               dialect.Normal(files.ResolvedPath(directory)), rest)) {
      return {};
    }
  }
  std::vector<std::string> excluded;
  if (!rest.empty()) {
    excluded.push_back(rest);
  } else {
    const bool dated = Below(dialect, job.archiveFolder, base, rest) && !rest.empty();
    const std::string day = dated ? dialect.DayFolder(rest) : "";
    excluded.push_back(day + BaseName(job.archiveFile));
    if (job.MadeFresh()) excluded.push_back(day + BaseName(job.partialFile));
    namesExcluded = true;
  }
  std::vector<TMaskEntry> entries;
  for (const std::string& name : excluded) {
    entries.push_back(dialect.FolderExclude(manager.ExcludeKey(), job.family, directory, name));
  }
  return entries;
}

void AddMaskEntries(const TDialect& dialect, const TbkManager& manager,
                    const TbkDirectory& directory, TArchiveJob& job) {
  if (const TbkRule* rule = FindRule(directory.RuleName(), manager.Rules())) {
    const bool exclude = rule->Category() == ecExclude;
    const TbkExtensions& masks = *rule->Extensions();
    for (int i = 0; i < masks.Count(); ++i) {
      const TbkExtension& mask = *masks.Items(i);
      if (!mask.Active()) continue;
      if (job.error.empty()) job.error = MaskProblem(mask.Ext());
      std::string entry = dialect.MaskEntry(directory.Path(), mask.Ext(), exclude);
      if (exclude) {
        job.excludes.push_back({manager.ExcludeKey(), std::move(entry)});
      } else {
        job.includes.push_back({"", std::move(entry)});
      }
    }
  }
  if (job.includes.empty()) job.includes.push_back({"", dialect.EveryFile(directory.Path())});
}

// Beside the archive; where the archive lies in the directory it takes in,
// among the user's own locks, so that the archive does not take the lock in.
std::string LockFileOf(const TDialect& dialect, const std::string& archiveFile,
                       bool besideIsArchived) {
  if (!besideIsArchived) return archiveFile + ".lock";
  const std::string folder = Get<ISettingsPlaces>().UserFolder();
  if (folder.empty()) return {};
  return folder + "locks" + dialect.Separator() + dialect.FlatName(archiveFile) + ".lock";
}

// One directory's job, not yet checked against the others.
TArchiveJob MakeArchiveJob(const TDialect& dialect, const TbkManager& manager,
                           const TbkDirectory& directory, int position,
                           const std::string& archiveFolder) {
  TArchiveJob job;
  job.position = position;
  job.directory = directory.Path();
  job.ruleName = directory.RuleName();
  job.marked = directory.NeedArchive();
  job.program = manager.ArchiverExeFileName();
  job.family = ArchiverFamily(job.program);
  job.params = manager.ArchiverParams();
  job.testArchive = manager.TestArchives();
  job.error = PathProblem(directory.Path());
  if (manager.Password().InUse()) {
    job.password = manager.Password();
    job.params += job.params.empty() ? "-p" : " -p";
    if (manager.EncryptNames()) job.params += " -mhe=on";
    if (job.error.empty()) job.error = PasswordJobProblem(manager, job.family);
  }
  const TArchiveNames names = ArchiveNames(dialect, directory.Path(), archiveFolder, job.family);
  job.workingDirectory = names.workingDirectory;
  job.archiveFolder = names.folder;
  job.archiveArgument = names.argument;
  job.archiveFile = names.file;
  job.partialFile = names.partial;
  AddMaskEntries(dialect, manager, directory, job);
  if (job.error.empty()) {
    bool namesExcluded;
    for (TMaskEntry& entry : ArchiveFolderExcludes(dialect, manager, job, namesExcluded)) {
      job.excludes.push_back(std::move(entry));
    }
    job.lockFile = LockFileOf(dialect, job.archiveFile, namesExcluded);
  }
  return job;
}

// The keys of every name a directory's job writes.
std::vector<std::string> WrittenKeys(const TDialect& dialect, const std::string& path,
                                     const std::string& archiveFolder, TArchiverFamily family) {
  const TArchiveNames names = ArchiveNames(dialect, path, archiveFolder, family);
  std::vector<std::string> keys = {dialect.CompareKey(names.file)};
  if (!names.partial.empty()) keys.push_back(dialect.CompareKey(names.partial));
  return keys;
}

std::string ClashMessage(const std::string& archive, int otherPosition,
                         const std::string& otherPath) {
  return "Its archive " + archive + " would also be written by directory " +
         std::to_string(otherPosition) + ", " + otherPath + "; neither is archived";
}

// For every directory, the first other directory whose archive names meet
// its own; -1 where none does.
std::vector<int> Clashes(const TDialect& dialect, const TbkManager& manager,
                         const std::string& archiveFolder) {
  const TbkDirectories& directories = *manager.Directories();
  const TArchiverFamily family = ArchiverFamily(manager.ArchiverExeFileName());
  std::unordered_map<std::string, int> owner;
  std::vector<int> clash(static_cast<size_t>(directories.Count()), -1);
  for (int i = 0; i < directories.Count(); ++i) {
    for (const std::string& key :
         WrittenKeys(dialect, directories.Items(i)->Path(), archiveFolder, family)) {
      const auto [at, added] = owner.emplace(key, i);
      if (added || at->second == i) continue;
      if (clash[static_cast<size_t>(i)] < 0) clash[static_cast<size_t>(i)] = at->second;
      if (clash[static_cast<size_t>(at->second)] < 0) clash[static_cast<size_t>(at->second)] = i;
    }
  }
  return clash;
}

}  // namespace

const TArchiveJob& TNightPlan::Job(int position) const {
  if (position < 1 || position > static_cast<int>(jobs.size())) {
    throw Exception(Format("No directory %d in the settings file", position));
  }
  return jobs[static_cast<size_t>(position - 1)];
}

std::vector<TArchiveJob> TNightPlan::Marked() const {
  std::vector<TArchiveJob> marked;
  for (const TArchiveJob& job : jobs) {
    if (job.marked) marked.push_back(job);
  }
  return marked;
}

std::vector<TArchiveJob> TNightPlan::Chosen(const std::vector<int>& positions) const {
  for (const int position : positions) Job(position);
  std::vector<TArchiveJob> chosen;
  std::unordered_set<int> taken;
  for (const int position : positions) {
    if (taken.insert(position).second) chosen.push_back(Job(position));
  }
  return chosen;
}

namespace {

std::string ArchiveFolderWith(const TbkManager& manager, const std::string& subfolder) {
  const TDialect& dialect = Dialect();
  std::string folder = manager.OutputPath();
  if (!folder.empty() && folder.back() == dialect.Separator()) folder.pop_back();
  if (!manager.SubDirNamePattern().empty()) folder += dialect.Separator() + subfolder;
  return folder;
}

}  // namespace

std::string ArchiveFolderNow(const TbkManager& manager) {
  return ArchiveFolderWith(manager, manager.SubDirNamePattern().empty()
                                        ? std::string()
                                        : FormatSubDirName(manager.SubDirNamePattern()));
}

TNightPlan MakeScriptPlan(const TbkManager& manager) {
  const std::string& pattern = manager.SubDirNamePattern();
  if (!Dialect().ScriptsNameTheDayWhenTheyRun() || pattern.empty()) return MakeNightPlan(manager);
  TNightPlan plan;
  plan.archiveFolder = ArchiveFolderWith(manager, kRunDayMarker);
  plan.jobs = MakeArchiveJobs(manager, plan.archiveFolder);
  if (const std::optional<std::string> format = DateCommandFormat(pattern)) {
    plan.scriptDay = "date " + QuotePosixWord("+" + *format);
  } else {
    // Names, regional formats, a 12-hour clock: date spells them otherwise.
    plan.scriptDay = QuotePosixWord(CompanionProgram()) + " subfolder " +
                     QuotePosixWord(pattern);
  }
  return plan;
}

TNightPlan MakeNightPlan(const TbkManager& manager) {
  TNightPlan plan;
  plan.archiveFolder = ArchiveFolderNow(manager);
  plan.jobs = MakeArchiveJobs(manager, plan.archiveFolder);
  return plan;
}

int PositionOf(const TbkManager& manager, const TbkDirectory& directory) {
  const TbkDirectories& directories = *manager.Directories();
  for (int i = 0; i < directories.Count(); ++i) {
    if (directories.Items(i) == &directory) return i + 1;
  }
  return 0;
}

std::vector<TArchiveJob> MakeArchiveJobs(const TbkManager& manager,
                                         const std::string& archiveFolder) {
  const TDialect& dialect = Dialect();
  const TbkDirectories& directories = *manager.Directories();
  const std::vector<int> clash = Clashes(dialect, manager, archiveFolder);
  std::vector<TArchiveJob> jobs;
  jobs.reserve(static_cast<size_t>(directories.Count()));
  for (int i = 0; i < directories.Count(); ++i) {
    jobs.push_back(MakeArchiveJob(dialect, manager, *directories.Items(i), i + 1, archiveFolder));
    const int other = clash[static_cast<size_t>(i)];
    if (other >= 0 && jobs.back().error.empty()) {
      jobs.back().clash = true;
      jobs.back().error =
          ClashMessage(jobs.back().archiveFile, other + 1, directories.Items(other)->Path());
    }
  }
  return jobs;
}

TArchiveJob JobOfDirectory(const TbkManager& manager, const TbkDirectory& directory,
                           const std::string& archiveFolder) {
  TNightPlan plan{archiveFolder, MakeArchiveJobs(manager, archiveFolder), {}};
  return plan.Job(PositionOf(manager, directory));
}

std::string FindArchiveClash(const TbkManager& manager, const std::string& path,
                             const TbkDirectory* ignore) {
  const TDialect& dialect = Dialect();
  const std::string archiveFolder = ArchiveFolderNow(manager);
  const TArchiverFamily family = ArchiverFamily(manager.ArchiverExeFileName());
  const std::vector<std::string> own = WrittenKeys(dialect, path, archiveFolder, family);
  const TbkDirectories& directories = *manager.Directories();
  for (int i = 0; i < directories.Count(); ++i) {
    const TbkDirectory& other = *directories.Items(i);
    if (&other == ignore) continue;
    for (const std::string& key : WrittenKeys(dialect, other.Path(), archiveFolder, family)) {
      if (std::find(own.begin(), own.end(), key) != own.end()) return other.Path();
    }
  }
  return {};
}

}  // namespace pw
