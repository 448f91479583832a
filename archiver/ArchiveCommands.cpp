#include "archiver/ArchiveCommands.h"

#include "archiver/ArchiveJob.h"
#include "archiver/BatchText.h"
#include "archiver/DateTimeFormat.h"
#include "archiver/PosixScripts.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/PathStyle.h"
#include "platform/Services.h"

namespace pw {

namespace {

bool CreateLevels(std::string dir) {
  if (!dir.empty() && (dir.back() == PathSeparator() || dir.back() == '/')) dir.pop_back();
  IFileSystem& fs = Get<IFileSystem>();
  // A drive ("C:") or the root counts as existing.
  const size_t shortest = IsPosixStyle() ? 1 : 3;
  if (dir.size() < shortest || fs.DirectoryExists(dir)) return true;
  const std::string parent = ExtractFilePath(dir);
  // A relative name has no parent to create: it lands in the current directory.
  if (parent == dir) return true;
  return (parent.empty() || CreateLevels(parent)) && fs.MakeDirectory(dir);
}

TArchiveJob JobNow(const TbkManager& manager, const TbkDirectory& directory, bool forceCreate) {
  return MakeArchiveJob(manager, directory, 0, GetArchiveDirectory(manager, forceCreate));
}

}  // namespace

std::string PathToFileName(const std::string& path) {
  if (IsPosixStyle()) return PosixFlatName(path);
  std::string name;
  name.reserve(path.size());
  for (const char c : path) {
    if (c == ':') continue;
    name += c == '\\' ? '_' : c;
  }
  return name;
}

std::string ExtractFilePath(const std::string& path) {
  const size_t last = path.find_last_of(IsPosixStyle() ? "/" : "\\/:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

void ForceDirectories(const std::string& dir) {
  if (dir.empty()) throw EInOutError(0, "Unable to create directory");
  CreateLevels(dir);
}

std::string GetArchiveDirectory(const TbkManager& manager, bool forceCreate) {
  std::string suffix;
  if (!manager.SubDirNamePattern().empty()) {
    suffix = PathSeparator() + FormatSubDirName(manager.SubDirNamePattern());
  }
  const std::string result = WithoutTrailingSeparator(manager.OutputPath()) + suffix;
  if (forceCreate) ForceDirectories(result);
  return result;
}

std::string GetArchiveFilePath(const TbkManager& manager, const TbkDirectory& directory,
                               bool forceCreate) {
  return GetArchiveDirectory(manager, forceCreate) + PathSeparator() +
         PathToFileName(directory.Path());
}

std::string GetMaskList(const TbkManager& manager, const TbkDirectory& directory,
                        TExtensionCategories categories) {
  const TArchiveJob job = JobNow(manager, directory, false);
  std::string result;
  for (const TExtensionCategory category : {ecExclude, ecInclude}) {
    if (!categories.Contains(category)) continue;
    const std::string entries =
        IsPosixStyle() ? PosixMaskList(category == ecExclude ? job.excludes : job.includes)
                       : BatchMaskList(category == ecExclude ? job.excludes : job.includes);
    if (!result.empty() && !entries.empty()) result += ' ';
    result += entries;
  }
  return result;
}

std::string GetArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                  bool forceCreate) {
  const TArchiveJob job = JobNow(manager, directory, forceCreate);
  return IsPosixStyle() ? PosixParameters(job) : BatchParameters(job);
}

std::string ExtractDrive(const std::string& path) {
  const size_t colon = path.find(':');
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 1);
}

std::string GetChangeDirCommands(const std::string& path) {
  return IsPosixStyle() ? PosixChangeDirCommands(path) : BatchChangeDirCommands(path);
}

std::string GetCommandText(const TbkManager& manager, const TbkDirectory& directory) {
  const TArchiveJob job = JobNow(manager, directory, false);
  return IsPosixStyle() ? PosixCommandText(job) : BatchCommandText(job);
}

}  // namespace pw
