#include "archiver/ArchiverDetection.h"

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
  key->ReadDefaultValue(value);
  path = value;
  return true;
}

bool GetOptions(bool found, const char* standardParams, std::string& params,
                std::string& excludeKey) {
  if (found) {
    params = standardParams;
    excludeKey = "-x";
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
  return FindAppPath("WinRAR.exe", path);
}
bool FindWinZipCommandLine(std::string& path) {
  return FindAppPath("wzzip.exe", path);
}
bool FindWinZip(std::string& path) {
  return FindAppPath("winzip.exe", path);
}

bool GetWinRarOptions(std::string& exeFileName, std::string& params, std::string& excludeKey) {
  return GetOptions(FindWinRar(exeFileName), "a -r", params, excludeKey);
}

bool GetWinZipOptions(std::string& exeFileName, std::string& params, std::string& excludeKey) {
  return GetOptions(FindWinZipCommandLine(exeFileName), "-a -p -r", params, excludeKey);
}

bool ApplyWinRarOptions(TbkManager& manager) {
  return Apply(manager, GetWinRarOptions);
}
bool ApplyWinZipOptions(TbkManager& manager) {
  return Apply(manager, GetWinZipOptions);
}

bool ApplyArchiverOptions(TbkManager& manager, TArchiverKind kind) {
  return kind == akWinRar ? ApplyWinRarOptions(manager) : ApplyWinZipOptions(manager);
}

void GetFileTypeDescription(const std::string& ext, std::string& description) {
  description = ClassesDefault(ClassesDefault(ext));
}

}  // namespace pw
