// How paths are written and how commands are scripted: the Windows way
// ("\" separators, drive letters, batch files) or the POSIX way ("/", shell
// scripts). Both are compiled everywhere; a build answers with its own
// system's style, and tests pick one with a ScopedOverride.
#pragma once

#include "platform/Services.h"

#include <string>

namespace pw {

enum class TPathStyle { psWindows, psPosix };

class IPathStyle {
 public:
  virtual ~IPathStyle() = default;
  virtual TPathStyle Style() const = 0;
};

// The implementation this build provides.
template <>
IPathStyle& DefaultService<IPathStyle>();

inline bool IsPosixStyle() {
  return Get<IPathStyle>().Style() == TPathStyle::psPosix;
}

inline char PathSeparator() {
  return IsPosixStyle() ? '/' : '\\';
}

// The path without one trailing separator of the style, if it has one.
std::string WithoutTrailingSeparator(const std::string& path);

// Where archives go until the user names a folder: "C:\MyArchives", or
// MyArchives in the user's home folder.
std::string DefaultOutputPath();

}  // namespace pw
