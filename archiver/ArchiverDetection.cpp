#include "archiver/ArchiverDetection.h"

#include "archiver/ArchiveCommands.h"
#include "archiver/Dialect.h"
#include "platform/Errors.h"
#include "platform/PathStyle.h"
#include "platform/Programs.h"
#include "platform/Registry.h"
#include "platform/Services.h"

namespace pw {

namespace {

const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

bool FindAppPath(const char* program, std::string& path) {
  auto key =
      Get<IRegistry>().OpenKey(TRegistryRoot::rrLocalMachine, kAppPaths + std::string(program));
  if (!key) return false;
  std::string value;
  try {
    key->ReadDefaultValue(value);
  } catch (const ERegistryError&) {
    // A number or bytes where the program's path belongs names no program:
    // the archiver is not found, and the window goes on without it.
    return false;
  }
  path = value;
  return true;
}

// Where the system has no App Paths (the POSIX style), the program's usual
// names on PATH, in order.
bool FindOnPath(std::initializer_list<const char*> names, std::string& path) {
  if (!Dialect().FindsArchiversOnPath()) return false;
  for (const char* name : names) {
    if (const auto found = Get<IProgramSearch>().FindOnPath(name)) {
      path = *found;
      return true;
    }
  }
  return false;
}

bool GetOptions(bool found, const char* standardParams, std::string& params,
                std::string& excludeKey, const char* standardKey = "-x") {
  if (found) {
    params = standardParams;
    excludeKey = standardKey;
  }
  return found;
}

bool Apply(TbkManager& manager, bool (*get)(std::string&, std::string&, std::string&)) {
  std::string exe, params, excludeKey;
  if (!get(exe, params, excludeKey)) return false;
  manager.SetArchiverExeFileName(exe);
  manager.SetArchiverParams(params);
  manager.SetExcludeKey(excludeKey);
  return true;
}

// The default value of a key under HKEY_CLASSES_ROOT, empty when either is missing.
std::string ClassesDefault(const std::string& name) {
  std::string value;
  if (auto key = Get<IRegistry>().OpenKey(TRegistryRoot::rrClassesRoot, name)) {
    key->ReadDefaultValue(value);
  }
  return value;
}

}  // namespace

bool FindWinRar(std::string& path) {
  return FindAppPath("WinRAR.exe", path) || FindOnPath({"rar"}, path);
}
bool FindWinZipCommandLine(std::string& path) {
  return FindAppPath("wzzip.exe", path);
}
bool FindWinZip(std::string& path) {
  return FindAppPath("winzip.exe", path);
}

bool Find7Zip(std::string& path) {
  std::string manager;
  if (FindAppPath("7zFM.exe", manager)) {
    // The key names the file manager; the command-line program sits beside it.
    if (manager.size() >= 2 && manager.front() == '"' && manager.back() == '"') {
      manager = manager.substr(1, manager.size() - 2);
    }
    path = manager.empty() ? manager : ExtractFilePath(manager) + Dialect().SevenZipConsole();
    return true;
  }
  return FindOnPath({"7zz", "7z"}, path);
}

bool GetWinRarOptions(std::string& exeFileName, std::string& params, std::string& excludeKey) {
  return GetOptions(FindWinRar(exeFileName), "a -r", params, excludeKey);
}

bool GetWinZipOptions(std::string& exeFileName, std::string& params, std::string& excludeKey) {
  return GetOptions(FindWinZipCommandLine(exeFileName), "-a -p -r", params, excludeKey);
}

bool Get7ZipOptions(std::string& exeFileName, std::string& params, std::string& excludeKey) {
  return GetOptions(Find7Zip(exeFileName), "a -r", params, excludeKey, "-x!");
}

bool ApplyWinRarOptions(TbkManager& manager) {
  return Apply(manager, GetWinRarOptions);
}
bool ApplyWinZipOptions(TbkManager& manager) {
  return Apply(manager, GetWinZipOptions);
}

bool Apply7ZipOptions(TbkManager& manager) {
  return Apply(manager, Get7ZipOptions);
}

bool ApplyArchiverOptions(TbkManager& manager, TArchiverKind kind) {
  switch (kind) {
    case akWinRar:
      return ApplyWinRarOptions(manager);
    case ak7Zip:
      return Apply7ZipOptions(manager);
    default:
      return ApplyWinZipOptions(manager);
  }
}

void GetFileTypeDescription(const std::string& ext, std::string& description) {
  description = ClassesDefault(ClassesDefault(ext));
}

}  // namespace pw
