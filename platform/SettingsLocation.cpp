#include "platform/SettingsLocation.h"

#include "platform/Streams.h"

namespace pw {

std::string SettingsFileName() {
  const ISettingsPlaces& places = Get<ISettingsPlaces>();
  const std::string program = places.ProgramFolder();
  if (places.Installed()) {
    const std::string user = places.UserFolder();
    if (!user.empty()) return user + kSettingsFileName;
  }
  if (FileExists(program + kSettingsFileName)) return program + kSettingsFileName;
  const std::string user = places.UserFolder();
  if (user.empty()) return program + kSettingsFileName;
  if (FileExists(user + kSettingsFileName)) return user + kSettingsFileName;
  return (places.CanCreateFilesIn(program) ? program : user) + kSettingsFileName;
}

std::string SettingsFolder() {
  const std::string file = SettingsFileName();
  return file.substr(0, file.size() - (sizeof kSettingsFileName - 1));
}

std::string XdgUserFolder(const char* xdgConfigHome, const std::string& home) {
  std::string base;
  if (xdgConfigHome && xdgConfigHome[0] == '/') {
    base = xdgConfigHome;
  } else if (!home.empty() && home[0] == '/') {
    base = home + (home.back() == '/' ? "" : "/") + ".config";
  } else {
    return {};
  }
  if (base.back() != '/') base += '/';
  return base + "Packetwright/";
}

}  // namespace pw
