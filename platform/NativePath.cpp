#include "platform/NativePath.h"

#include <algorithm>

#include "platform/PathStyle.h"

namespace pw {

std::string NativePath(const std::string& original) {
  std::string path = original;
#ifndef _WIN32
  if (!IsPosixStyle()) std::replace(path.begin(), path.end(), '\\', '/');
#endif
  return path;
}

}  // namespace pw
