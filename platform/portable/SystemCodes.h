// The codes the messages of EInOutError are known by, for a POSIX errno.
#pragma once

#include <cerrno>

namespace pw {

// 2 "The directory does not exist", 3 "Invalid filename", 4 "Too many open files", 5 "File
// access denied"; other errors keep their number, unless it would read as one
// of those.
inline int SystemCode(int error) {
  switch (error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
      return 3;
    case EMFILE:
      return 4;
    case EACCES:
    case EPERM:
      return 5;
    default:
      return error >= 2 && error <= 5 ? 1000 + error : error;
  }
}

}  // namespace pw
