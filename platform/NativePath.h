#pragma once

#include <string>

namespace pw {

// Texts written in the Windows style name paths with "\" separators; on a
// system whose paths use "/" every "\" is then read as a separator. In the
// POSIX style, and on Windows, the path is unchanged.
std::string NativePath(const std::string& path);

}  // namespace pw
