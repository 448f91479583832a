// Where the settings file lives, and with it the registry stand-in and the
// journal: beside the program for portable use and for every installation
// that keeps its settings there, otherwise in the user's own folder for
// application settings.
#pragma once

#include <string>

#include "platform/Services.h"

namespace pw {

inline constexpr char kSettingsFileName[] = "Packetwright.dat";

// The two folders a settings file may live in, and whether a file can be made
// in one. Folders end with a separator.
class ISettingsPlaces {
 public:
  virtual ~ISettingsPlaces() = default;
  virtual std::string ProgramFolder() const = 0;
  // $XDG_CONFIG_HOME/Packetwright/ (or ~/.config/Packetwright/), or
  // %APPDATA%\Packetwright\; empty when the system names no such folder.
  virtual std::string UserFolder() const = 0;
  // False for an installed program's folder (/usr/local/bin, C:\Program
  // Files\Packetwright) that only an administrator may change.
  virtual bool CanCreateFilesIn(const std::string& folder) const = 0;
};

// The implementation this build provides.
template <>
ISettingsPlaces& DefaultService<ISettingsPlaces>();

// The settings file that both the window and the companion use:
// Packetwright.dat beside the program when it is there, else the one in the
// user's folder when that is there; a file still to be made goes beside the
// program when files can be made there, else into the user's folder.
std::string SettingsFileName();

// The folder of SettingsFileName(), where Packetwright.reg and the journal
// live too.
std::string SettingsFolder();

// The user's folder as the XDG rules name it from XDG_CONFIG_HOME and the home
// folder: a value that is unset, empty or relative is passed over for
// home/.config. Empty when neither gives an absolute folder.
std::string XdgUserFolder(const char* xdgConfigHome, const std::string& home);

}  // namespace pw
