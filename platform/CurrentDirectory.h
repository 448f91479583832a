// The process's current directory, and the checks of a folder a program is
// to start in. Nothing changes the current directory: programs are started
// in their own folder (see TRunOptions), so that runs on several threads
// cannot disturb one another.
#pragma once

#include "platform/Services.h"

#include <string>

namespace pw {

class ICurrentDirectory {
 public:
  virtual ~ICurrentDirectory() = default;
  // Fails, without changing anything, as making path the current directory
  // would fail, with EInOutError: 2 "The directory does not exist", 3 "Invalid filename",
  // 4 "Too many open files", 5 "File access denied", otherwise "I/O error
  // %d". An empty path passes: it is the current directory.
  virtual void Check(const std::string& path) const = 0;
  virtual std::string Get() const = 0;
};

// The implementation this build provides.
template <>
ICurrentDirectory& DefaultService<ICurrentDirectory>();

}  // namespace pw
