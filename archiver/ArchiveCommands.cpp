#include "archiver/ArchiveCommands.h"

#include "archiver/DateTimeFormat.h"
#include "archiver/PosixScripts.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/PathStyle.h"
#include "platform/Services.h"

namespace pw {

namespace {

std::string WithoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string WithoutTrailingSeparator(const std::string& path) {
  if (!path.empty() && path.back() == PathSeparator()) return path.substr(0, path.size() - 1);
  return path;
}

// An argument with a blank in it is quoted whole, so that the archiver
// receives it as one argument.
std::string Argument(const std::string& entry) {
  if (entry.find_first_of(" \t") == std::string::npos) return entry;
  return '"' + entry + '"';
}

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

std::string GetPosixMaskList(const TbkManager& manager, const TbkDirectory& directory,
                             TExtensionCategories categories) {
  std::string result;
  for (const TExtensionCategory category : {ecExclude, ecInclude}) {
    if (!categories.Contains(category)) continue;
    for (const std::string& word : GetPosixMaskWords(manager, directory, category)) {
      if (!result.empty()) result += ' ';
      result += QuotePosixWord(word);
    }
  }
  return result;
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
  if (IsPosixStyle()) return GetPosixMaskList(manager, directory, categories);
  std::string result;
  const TbkRule* rule = FindRule(directory.RuleName(), manager.Rules());
  if (rule && categories.Contains(rule->Category())) {
    const std::string base = WithoutTrailingBackslash(directory.Path()) + "\\";
    const std::string key = rule->Category() == ecExclude ? manager.ExcludeKey() : "";
    const TbkExtensions& masks = *rule->Extensions();
    for (int i = 0; i < masks.Count(); ++i) {
      const TbkExtension& mask = *masks.Items(i);
      if (!mask.Active()) continue;
      if (!result.empty()) result += ' ';
      result += Argument(key + base + mask.Ext());
    }
  }
  if (result.empty() && categories.Contains(ecInclude)) {
    result = Argument(directory.Path() + "\\*.*");
  }
  return result;
}

std::string GetArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                  bool forceCreate) {
  if (IsPosixStyle()) return GetPosixArchiverParameters(manager, directory, forceCreate);
  const std::string excluded = GetMaskList(manager, directory, {ecExclude});
  const std::string archive = GetArchiveFilePath(manager, directory, forceCreate);
  const std::string included = GetMaskList(manager, directory, {ecInclude});
  return manager.ArchiverParams() + " " + excluded + " \"" + archive + "\" " + included;
}

std::string ExtractDrive(const std::string& path) {
  const size_t colon = path.find(':');
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 1);
}

std::string GetChangeDirCommands(const std::string& path) {
  if (IsPosixStyle()) return GetPosixChangeDirCommands(path);
  const std::string drive = ExtractDrive(path);
  if (drive.empty()) return {};
  return drive + "\r\ncd \"" + path + "\"\r\n";
}

std::string GetCommandText(const TbkManager& manager, const TbkDirectory& directory) {
  if (IsPosixStyle()) return GetPosixCommandText(manager, directory);
  return GetChangeDirCommands(directory.Path()) + "call \"" + manager.ArchiverExeFileName() +
         "\" " + GetArchiverParameters(manager, directory, false);
}

}  // namespace pw
