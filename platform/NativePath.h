#pragma once

#include <string>

namespace pw {

// The program's texts name paths with "\" separators; on a system whose paths
// use "/" every "\" is read as a separator. Elsewhere the path is unchanged.
std::string NativePath(const std::string& path);

}  // namespace pw
