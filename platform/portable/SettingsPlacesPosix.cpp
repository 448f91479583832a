// The settings folders of a POSIX system: the program's, and the user's as
// the XDG base directory rules name it. Qt's own answer is not used: the Qt of
// Debian 12 takes a relative XDG_CONFIG_HOME as it stands and makes "//.config"
// of an empty HOME.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/NativePath.h"
#include "platform/ProgramPath.h"
#include "platform/SettingsLocation.h"
#include "platform/Streams.h"

namespace pw {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  // A scheduler or a service may start the companion without HOME.
  const passwd* user = ::getpwuid(::getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

class PosixSettingsPlaces final : public ISettingsPlaces {
 public:
  std::string ProgramFolder() const override { return ProgramDirectory(); }
  std::string UserFolder() const override {
    return XdgUserFolder(std::getenv("XDG_CONFIG_HOME"), HomeFolder());
  }
  bool CanCreateFilesIn(const std::string& folder) const override {
    // Also false on a file system mounted read-only, even for root.
    return ::access(NativePath(folder).c_str(), W_OK | X_OK) == 0;
  }
  bool Installed() const override { return RunsFromInstalledLayout(ProgramFolder()); }
};

}  // namespace

bool RunsFromInstalledLayout(const std::string& programFolder) {
  return FileExists(programFolder + "../share/doc/packetwright/Packetwright.html");
}

template <>
ISettingsPlaces& DefaultService<ISettingsPlaces>() {
  static PosixSettingsPlaces instance;
  return instance;
}

}  // namespace pw
