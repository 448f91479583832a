#pragma once

#include <string>

namespace pw {

// The folder that holds the running program, with a trailing separator.
std::string ProgramDirectory();

// The companion, packetwright-cli, by its full name: beside the program, as
// both programs are installed.
inline std::string CompanionProgram() {
#ifdef _WIN32
  return ProgramDirectory() + "packetwright-cli.exe";
#else
  return ProgramDirectory() + "packetwright-cli";
#endif
}

}  // namespace pw
