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

// Characters that make an entry need quotes: blanks split a command line
// into arguments; in a batch file cmd.exe also reads the operators.
constexpr const char* kShellSpecials = " \t";
constexpr const char* kBatchSpecials = " \t&|<>^(";

// An entry that holds a special character is quoted, so that the archiver
// receives it as one argument. A switch that ends in a blank ("-x ") is a
// word of its own and stays outside the quotes.
std::string Argument(const std::string& key, const std::string& entry, const char* specials) {
  const bool keyApart = !key.empty() && key.back() == ' ';
  const std::string quoted = keyApart ? entry : key + entry;
  const std::string prefix = keyApart ? key : "";
  if (quoted.find_first_of(specials) == std::string::npos) return prefix + quoted;
  return prefix + '"' + quoted + '"';
}

// cmd.exe expands a batch line's percent signs once, and a "call" line a
// second time, so a literal "%" is written "%%" there and "%%%%" here.
std::string EscapePercents(const std::string& text, int rounds) {
  const std::string literal(size_t{1} << rounds, '%');
  std::string out;
  for (const char c : text) {
    if (c == '%') {
      out += literal;
    } else {
      out += c;
    }
  }
  return out;
}

std::string MaskList(const TbkManager& manager, const TbkDirectory& directory,
                     TExtensionCategories categories, const char* specials) {
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
      result += Argument(key, base + mask.Ext(), specials);
    }
  }
  if (result.empty() && categories.Contains(ecInclude)) {
    result = Argument("", directory.Path() + "\\*.*", specials);
  }
  return result;
}

std::string ArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                               bool forceCreate, const char* specials) {
  const std::string excluded = MaskList(manager, directory, {ecExclude}, specials);
  const std::string archive = GetArchiveFilePath(manager, directory, forceCreate);
  const std::string included = MaskList(manager, directory, {ecInclude}, specials);
  return manager.ArchiverParams() + " " + excluded + " \"" + archive + "\" " + included;
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
  return MaskList(manager, directory, categories, kShellSpecials);
}

std::string GetArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                  bool forceCreate) {
  if (IsPosixStyle()) return GetPosixArchiverParameters(manager, directory, forceCreate);
  return ArchiverParameters(manager, directory, forceCreate, kShellSpecials);
}

std::string ExtractDrive(const std::string& path) {
  const size_t colon = path.find(':');
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 1);
}

std::string GetChangeDirCommands(const std::string& path) {
  if (IsPosixStyle()) return GetPosixChangeDirCommands(path);
  const std::string drive = ExtractDrive(path);
  if (drive.empty()) return {};
  return drive + "\r\ncd \"" + EscapePercents(path, 1) + "\"\r\n";
}

// The call line reads as cmd.exe will: the same arguments as a run passes.
std::string GetCommandText(const TbkManager& manager, const TbkDirectory& directory) {
  if (IsPosixStyle()) return GetPosixCommandText(manager, directory);
  const std::string call = "call \"" + manager.ArchiverExeFileName() + "\" " +
                           ArchiverParameters(manager, directory, false, kBatchSpecials);
  return GetChangeDirCommands(directory.Path()) + EscapePercents(call, 2);
}

}  // namespace pw
