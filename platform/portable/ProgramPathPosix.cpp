#include <unistd.h>

#include <climits>

#include "platform/ProgramPath.h"

namespace pw {

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "./";
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace pw
