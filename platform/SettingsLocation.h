// Where the settings file lives, and with it the registry stand-in and the
// journal: for an installed program in the user's own folder for application
// settings, whoever runs it; for a portable copy (a build folder, an unpacked
// zip) beside the program when it is there or can be made there, otherwise in
// the user's folder.
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
  // True for a program that runs from an installed layout, as
  // RunsFromInstalledLayout(ProgramFolder()) says.
  virtual bool Installed() const = 0;
};

// The implementation this build provides.
template <>
ISettingsPlaces& DefaultService<ISettingsPlaces>();

// The settings file that both the window and the companion use. An installed
// program uses Packetwright.dat in the user's folder only: a file beside it is
// not read, and none is ever made there, not even by root. A portable copy
// uses Packetwright.dat beside the program when it is there, else the one in
// the user's folder when that is there; a file still to be made goes beside
// the program when files can be made there, else into the user's folder. A
// system that names no user folder at all leaves the program's folder.
std::string SettingsFileName();

// The folder of SettingsFileName(), where Packetwright.reg and the journal
// live too.
std::string SettingsFolder();

// Whether the program in programFolder (ending with a separator) runs from an
// installed layout rather than from a build folder or an unpacked zip. POSIX:
// its help lies in ../share/doc/packetwright/, where an installation puts it.
// Windows: the installer's uninstaller (kUninstallerName) lies beside it.
bool RunsFromInstalledLayout(const std::string& programFolder);

// The uninstaller that the Windows installer leaves beside the programs.
inline constexpr char kUninstallerName[] = "Uninstall.exe";

// The user's folder as the XDG rules name it from XDG_CONFIG_HOME and the home
// folder: a value that is unset, empty or relative is passed over for
// home/.config. Empty when neither gives an absolute folder.
std::string XdgUserFolder(const char* xdgConfigHome, const std::string& home);

}  // namespace pw
