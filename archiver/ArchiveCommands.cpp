#include "archiver/ArchiveCommands.h"

#include "archiver/Dialect.h"
#include "archiver/NightPlan.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"

namespace pw {

namespace {

bool CreateLevels(const TDialect& dialect, std::string dir) {
  if (!dir.empty() && (dir.back() == dialect.Separator() || dir.back() == '/')) dir.pop_back();
  IFileSystem& fs = Get<IFileSystem>();
  // A drive ("C:") or the root counts as existing.
  if (dir.size() < dialect.ShortestFolder() || fs.DirectoryExists(dir)) return true;
  const std::string parent = dialect.FolderOf(dir);
  // A relative name has no parent to create: it lands in the current directory.
  if (parent == dir) return true;
  return (parent.empty() || CreateLevels(dialect, parent)) && fs.MakeDirectory(dir);
}

// The directory's job in the plan of the document now.
TArchiveJob PlannedJob(const TbkManager& manager, const TbkDirectory& directory) {
  return JobOfDirectory(manager, directory, ArchiveFolderNow(manager));
}

}  // namespace

std::string PathToFileName(const std::string& path) {
  return Dialect().FlatName(path);
}

std::string ExtractFilePath(const std::string& path) {
  return Dialect().FolderOf(path);
}

void ForceDirectories(const std::string& dir) {
  if (dir.empty()) throw EInOutError(0, "Unable to create directory");
  CreateLevels(Dialect(), dir);
}

std::string GetArchiveDirectory(const TbkManager& manager, bool forceCreate) {
  const std::string result = ArchiveFolderNow(manager);
  if (forceCreate) ForceDirectories(result);
  return result;
}

std::string GetMaskList(const TbkManager& manager, const TbkDirectory& directory,
                        TExtensionCategories categories) {
  const TArchiveJob job = PlannedJob(manager, directory);
  std::string result;
  for (const TExtensionCategory category : {ecExclude, ecInclude}) {
    if (!categories.Contains(category)) continue;
    const std::string entries =
        Dialect().MaskList(category == ecExclude ? job.excludes : job.includes);
    if (!result.empty() && !entries.empty()) result += ' ';
    result += entries;
  }
  return result;
}

std::string GetArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                  bool forceCreate) {
  const std::string folder = GetArchiveDirectory(manager, forceCreate);
  return Dialect().Parameters(JobOfDirectory(manager, directory, folder));
}

std::string GetCommandText(const TbkManager& manager, const TbkDirectory& directory) {
  return Dialect().CommandText(PlannedJob(manager, directory));
}

}  // namespace pw
