// The settings folders of Windows: the program's, and the user's roaming
// application data folder.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdlib>

#include "platform/ProgramPath.h"
#include "platform/SettingsLocation.h"
#include "platform/Streams.h"

namespace pw {

namespace {

// The program's texts are in the ANSI code page, as its file calls expect.
std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string result(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), n, nullptr, nullptr);
  result.resize(static_cast<size_t>(n - 1));
  return result;
}

std::string RoamingAppData() {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path))) {
    result = Narrow(path);
  }
  CoTaskMemFree(path);
  if (result.empty()) {
    if (const char* appData = std::getenv("APPDATA")) result = appData;
  }
  return result;
}

class Win32SettingsPlaces final : public ISettingsPlaces {
 public:
  std::string ProgramFolder() const override { return ProgramDirectory(); }
  std::string UserFolder() const override {
    std::string folder = RoamingAppData();
    if (folder.empty()) return {};
    if (folder.back() != '\\') folder += '\\';
    return folder + "Packetwright\\";
  }
  // The attributes of a folder say nothing about who may write in it, so a
  // file is made there and removed at once.
  bool CanCreateFilesIn(const std::string& folder) const override {
    const std::string probe =
        folder + "Packetwright.probe." + std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }
  bool Installed() const override { return RunsFromInstalledLayout(ProgramFolder()); }
};

}  // namespace

// The installer puts its uninstaller into the programs' folder, and the
// uninstaller goes with the rest; a zip holds none.
bool RunsFromInstalledLayout(const std::string& programFolder) {
  return FileExists(programFolder + kUninstallerName);
}

template <>
ISettingsPlaces& DefaultService<ISettingsPlaces>() {
  static Win32SettingsPlaces instance;
  return instance;
}

}  // namespace pw
