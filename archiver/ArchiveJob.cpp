#include "archiver/ArchiveJob.h"

#include <algorithm>
#include <unordered_map>

#include "archiver/ArchiveCommands.h"
#include "platform/LocaleCompare.h"
#include "platform/PathStyle.h"
#include "platform/Programs.h"

namespace pw {

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t last = path.find_last_of("/\\");
  return last == std::string::npos ? path : path.substr(last + 1);
}

bool IsSeparator(char c) {
  return c == '/' || (!IsPosixStyle() && c == '\\');
}

bool IsAbsolute(const std::string& path) {
  if (IsPosixStyle()) return !path.empty() && path[0] == '/';
  return (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) ||
         (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]));
}

// The path a relative name means when resolved against folder.
std::string Resolved(const std::string& path, const std::string& folder) {
  if (IsAbsolute(path)) return path;
  const char sep = PathSeparator();
  if (!IsPosixStyle() && !path.empty() && IsSeparator(path[0])) {
    const size_t colon = folder.find(':');
    return (colon == std::string::npos ? std::string() : folder.substr(0, colon + 1)) + path;
  }
  if (!IsPosixStyle() && path.size() >= 2 && path[1] == ':') return path;  // "D:name"
  std::string base = folder;
  while (!base.empty() && base.back() == sep) base.pop_back();
  return path.empty() ? base : base + sep + path;
}

// The path with "." and ".." steps and doubled separators taken out, as
// written: links are not followed. The Windows style reads "/" as "\\".
std::string Normal(const std::string& path) {
  const char sep = PathSeparator();
  size_t start = 0;
  std::string root;
  if (IsPosixStyle()) {
    if (!path.empty() && path[0] == '/') root = "/", start = 1;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    root = "\\\\", start = 2;
  } else if (path.size() >= 2 && path[1] == ':') {
    root = path.substr(0, 2), start = 2;
    if (path.size() >= 3 && IsSeparator(path[2])) root += '\\', start = 3;
  } else if (!path.empty() && IsSeparator(path[0])) {
    root = "\\", start = 1;
  }
  std::vector<std::string> steps;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string step = path.substr(start, end - start);
    if (step == "..") {
      if (!steps.empty() && steps.back() != "..") {
        steps.pop_back();
      } else if (root.empty()) {
        steps.push_back(step);
      }
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::string out = root;
  for (size_t i = 0; i < steps.size(); ++i) out += (i ? std::string(1, sep) : "") + steps[i];
  return out.empty() ? "." : out;
}

// A name as the style's file system compares it.
std::string CompareKey(const std::string& path) {
  return IsPosixStyle() ? path : Get<ILocaleCompare>().FoldKey(path);
}

// What path holds below folder ("" when they are the same); false when path
// does not lie inside folder.
bool Below(const std::string& path, const std::string& folder, std::string& rest) {
  // A prefix test needs a key that keeps the text's order: the locale's
  // sort key does not, so the Windows style folds the ASCII letters only.
  const bool posix = IsPosixStyle();
  const std::string p = posix ? path : UpperCaseAscii(path);
  const std::string f = posix ? folder : UpperCaseAscii(folder);
  if (p == f) {
    rest.clear();
    return true;
  }
  const std::string prefix = f.back() == PathSeparator() ? f : f + PathSeparator();
  if (p.rfind(prefix, 0) != 0) return false;
  rest = path.substr(prefix.size());
  return true;
}

// The archive's names for a directory at path: the finished archive, the one
// handed to the archiver, and the temporary one where it is made fresh.
struct TArchiveNames {
  std::string workingDirectory, folder, argument, file, partial;
};

TArchiveNames ArchiveNames(const std::string& path, const std::string& archiveFolder,
                           TArchiverFamily family) {
  TArchiveNames names;
  names.workingDirectory = ExpandHome(path);
  const std::string folder = ExpandHome(archiveFolder);
  // No folder at all is refused when a run creates it; the names stay as
  // the command text has always shown them.
  names.folder = folder.empty() ? folder : Normal(Resolved(folder, names.workingDirectory));
  const std::string flat = PathToFileName(IsPosixStyle() ? names.workingDirectory : path);
  const std::string extension = ArchiveExtension(family);
  // An archiver picks the archive's type from a dot in its name; a name
  // without one is handed over as it is and the archiver adds its own.
  const bool dotted = flat.find('.') != std::string::npos;
  const std::string sep(1, PathSeparator());
  const std::string full = (names.folder == sep ? "" : names.folder) + sep;
  // In the Windows style the batch file names the folder as typed.
  const std::string handed = IsPosixStyle() ? full : folder + sep;
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
// subfolders beside today's.
std::vector<TMaskEntry> ArchiveFolderExcludes(const TbkManager& manager, const TArchiveJob& job) {
  if (job.archiveFolder.empty()) return {};
  const std::string base = Normal(Resolved(ExpandHome(manager.OutputPath()), job.workingDirectory));
  const std::string directory = Normal(job.workingDirectory);
  std::string rest;
  if (!Below(base, directory, rest)) return {};
  std::vector<std::string> excluded;
  if (!rest.empty()) {
    excluded.push_back(rest);
  } else {
    const bool dated = Below(job.archiveFolder, directory, rest) && !rest.empty();
    const std::string day = dated ? (IsPosixStyle() ? "*/" : rest + "\\") : "";
    excluded.push_back(day + BaseName(job.archiveFile));
    if (job.MadeFresh()) excluded.push_back(day + BaseName(job.partialFile));
  }
  std::vector<TMaskEntry> entries;
  for (const std::string& name : excluded) {
    if (!IsPosixStyle()) {
      entries.push_back(
          {manager.ExcludeKey(), directory + (directory.back() == '\\' ? "" : "\\") + name});
      continue;
    }
    // 7-Zip matches a name in every subfolder; "r-" keeps it to the
    // directory's top, or to one level down for "*/name".
    std::string key = manager.ExcludeKey();
    if (job.family == TArchiverFamily::af7Zip && key == "-x!" &&
        (name.find('/') == std::string::npos || name.rfind("*/", 0) == 0)) {
      key = "-xr-!";
    }
    entries.push_back({key, name});
  }
  return entries;
}

void AddMaskEntries(const TbkManager& manager, const TbkDirectory& directory, TArchiveJob& job) {
  const TbkRule* rule = FindRule(directory.RuleName(), manager.Rules());
  const bool posix = IsPosixStyle();
  if (rule) {
    std::string base;
    if (!posix) {
      base = directory.Path();
      if (!base.empty() && base.back() == '\\') base.pop_back();
      base += '\\';
    }
    const bool exclude = rule->Category() == ecExclude;
    const TbkExtensions& masks = *rule->Extensions();
    for (int i = 0; i < masks.Count(); ++i) {
      const TbkExtension& mask = *masks.Items(i);
      if (!mask.Active()) continue;
      std::string entry = base + mask.Ext();
      // Relative to the folder the archiver runs in, so that no character of
      // the directory's path is read as a wildcard; "./" keeps a mask that
      // begins with "-" from being read as a switch.
      if (posix && !exclude && !entry.empty() && entry[0] == '-') entry = "./" + entry;
      if (exclude) {
        job.excludes.push_back({manager.ExcludeKey(), entry});
      } else {
        job.includes.push_back({"", entry});
      }
    }
  }
  // "*" rather than "*.*" in the POSIX style, which would leave out every
  // file without a dot.
  if (job.includes.empty()) job.includes.push_back({"", posix ? "*" : directory.Path() + "\\*.*"});
}

}  // namespace

TArchiverFamily ArchiverFamily(const std::string& exeFileName) {
  std::string name = LowerAscii(BaseName(exeFileName));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
    name.resize(name.size() - 4);
  }
  if (name == "7z" || name == "7zz" || name == "7za" || name == "7zr") {
    return TArchiverFamily::af7Zip;
  }
  if (name == "rar" || name == "winrar") return TArchiverFamily::afRar;
  if (name == "wzzip" || name == "winzip" || name == "winzip32" || name == "winzip64") {
    return TArchiverFamily::afWinZip;
  }
  return TArchiverFamily::afOther;
}

const char* ArchiveExtension(TArchiverFamily family) {
  switch (family) {
    case TArchiverFamily::af7Zip:
      return ".7z";
    case TArchiverFamily::afRar:
      return ".rar";
    case TArchiverFamily::afWinZip:
      return ".zip";
    case TArchiverFamily::afOther:
      break;
  }
  return "";
}

std::string ExpandHome(const std::string& path) {
  if (!IsPosixStyle() || path.empty() || path[0] != '~') return path;
  if (path.size() == 1) return HomeDirectory();
  if (path[1] != '/') return path;
  const std::string home = HomeDirectory();
  return (home == "/" ? "" : home) + path.substr(1);
}

std::string PathProblem(const std::string& path) {
  if (path.empty()) return "The directory's path is empty";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "The directory's path holds a control character";
  }
  if (IsPosixStyle() && !IsAbsolute(ExpandHome(path))) {
    return "The directory's path is not absolute";
  }
  return {};
}

TArchiveJob MakeArchiveJob(const TbkManager& manager, const TbkDirectory& directory, int position,
                           const std::string& archiveFolder) {
  TArchiveJob job;
  job.position = position;
  job.directory = directory.Path();
  job.ruleName = directory.RuleName();
  job.program = manager.ArchiverExeFileName();
  job.family = ArchiverFamily(job.program);
  job.params = manager.ArchiverParams();
  job.error = PathProblem(directory.Path());
  const TArchiveNames names = ArchiveNames(directory.Path(), archiveFolder, job.family);
  job.workingDirectory = names.workingDirectory;
  job.archiveFolder = names.folder;
  job.archiveArgument = names.argument;
  job.archiveFile = names.file;
  job.partialFile = names.partial;
  AddMaskEntries(manager, directory, job);
  if (job.error.empty()) {
    for (TMaskEntry& entry : ArchiveFolderExcludes(manager, job)) {
      job.excludes.push_back(std::move(entry));
    }
  }
  return job;
}

namespace {

// The keys of every name a directory's job writes.
std::vector<std::string> WrittenKeys(const std::string& path, const std::string& archiveFolder,
                                     TArchiverFamily family) {
  const TArchiveNames names = ArchiveNames(path, archiveFolder, family);
  std::vector<std::string> keys = {CompareKey(names.file)};
  if (!names.partial.empty()) keys.push_back(CompareKey(names.partial));
  return keys;
}

std::string ClashMessage(const std::string& archive, int otherPosition,
                         const std::string& otherPath) {
  return "Its archive " + archive + " would also be written by directory " +
         std::to_string(otherPosition) + ", " + otherPath + "; neither is archived";
}

// For every directory, the first other directory whose archive names meet
// its own; -1 where none does.
std::vector<int> Clashes(const TbkManager& manager, const std::string& archiveFolder) {
  const TbkDirectories& directories = *manager.Directories();
  const TArchiverFamily family = ArchiverFamily(manager.ArchiverExeFileName());
  std::unordered_map<std::string, int> owner;
  std::vector<int> clash(static_cast<size_t>(directories.Count()), -1);
  for (int i = 0; i < directories.Count(); ++i) {
    for (const std::string& key :
         WrittenKeys(directories.Items(i)->Path(), archiveFolder, family)) {
      const auto [at, added] = owner.emplace(key, i);
      if (added || at->second == i) continue;
      if (clash[static_cast<size_t>(i)] < 0) clash[static_cast<size_t>(i)] = at->second;
      if (clash[static_cast<size_t>(at->second)] < 0) clash[static_cast<size_t>(at->second)] = i;
    }
  }
  return clash;
}

}  // namespace

std::vector<TArchiveJob> MakeArchiveJobs(const TbkManager& manager,
                                         const std::string& archiveFolder) {
  const TbkDirectories& directories = *manager.Directories();
  const std::vector<int> clash = Clashes(manager, archiveFolder);
  std::vector<TArchiveJob> jobs;
  jobs.reserve(static_cast<size_t>(directories.Count()));
  for (int i = 0; i < directories.Count(); ++i) {
    jobs.push_back(MakeArchiveJob(manager, *directories.Items(i), i + 1, archiveFolder));
    const int other = clash[static_cast<size_t>(i)];
    if (other >= 0 && jobs.back().error.empty()) {
      jobs.back().clash = true;
      jobs.back().error =
          ClashMessage(jobs.back().archiveFile, other + 1, directories.Items(other)->Path());
    }
  }
  return jobs;
}

namespace {

// The index of the first directory, ignore left out, whose archive names meet
// those of a directory at path; -1 when none does.
int FirstClash(const TbkManager& manager, const std::string& path, const TbkDirectory* ignore,
               const std::string& archiveFolder) {
  const TArchiverFamily family = ArchiverFamily(manager.ArchiverExeFileName());
  const std::vector<std::string> own = WrittenKeys(path, archiveFolder, family);
  const TbkDirectories& directories = *manager.Directories();
  for (int i = 0; i < directories.Count(); ++i) {
    const TbkDirectory& other = *directories.Items(i);
    if (&other == ignore) continue;
    for (const std::string& key : WrittenKeys(other.Path(), archiveFolder, family)) {
      if (std::find(own.begin(), own.end(), key) != own.end()) return i;
    }
  }
  return -1;
}

}  // namespace

TArchiveJob JobOfDirectory(const TbkManager& manager, const TbkDirectory& directory,
                           const std::string& archiveFolder) {
  const TbkDirectories& directories = *manager.Directories();
  int position = 0;
  for (int i = 0; i < directories.Count(); ++i) {
    if (directories.Items(i) == &directory) position = i + 1;
  }
  TArchiveJob job = MakeArchiveJob(manager, directory, position, archiveFolder);
  if (!job.error.empty()) return job;
  const int other = FirstClash(manager, directory.Path(), &directory, archiveFolder);
  if (other >= 0) {
    job.clash = true;
    job.error = ClashMessage(job.archiveFile, other + 1, directories.Items(other)->Path());
  }
  return job;
}

std::string FindArchiveClash(const TbkManager& manager, const std::string& path,
                             const TbkDirectory* ignore) {
  const int other = FirstClash(manager, path, ignore, GetArchiveDirectory(manager, false));
  return other < 0 ? std::string() : manager.Directories()->Items(other)->Path();
}

}  // namespace pw
