#pragma once

#include <string>

namespace pw {

// The folder that holds the running program, with a trailing separator.
std::string ProgramDirectory();

}  // namespace pw
