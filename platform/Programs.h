// Finding and starting outside programs the way the system's own shell
// would, and the small facts about the user that go with it.
#pragma once

#include "platform/Services.h"

#include <optional>
#include <string>

namespace pw {

class IProgramSearch {
 public:
  virtual ~IProgramSearch() = default;
  // The full name of the first executable file called name in the folders
  // of PATH, or nothing.
  virtual std::optional<std::string> FindOnPath(const std::string& name) const = 0;
};

// The implementation this build provides.
template <>
IProgramSearch& DefaultService<IProgramSearch>();

// The user's home folder, without a trailing separator where it has more
// than one level.
std::string HomeDirectory();

// Lets whoever may read the file also run it; where files carry no such
// permission, nothing happens.
void MakeExecutable(const std::string& fileName);

}  // namespace pw
