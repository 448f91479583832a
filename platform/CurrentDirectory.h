// The process's current directory.
#pragma once

#include "platform/Services.h"

#include <string>

namespace pw {

class ICurrentDirectory {
 public:
  virtual ~ICurrentDirectory() = default;
  // Fails with EInOutError: 2 "File not found", 3 "Invalid filename", 4 "Too
  // many open files", 5 "File access denied", otherwise "I/O error %d".
  virtual void Set(const std::string& path) = 0;
  virtual std::string Get() const = 0;
};

// The implementation this build provides.
template <>
ICurrentDirectory& DefaultService<ICurrentDirectory>();

}  // namespace pw
