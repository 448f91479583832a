// What the archiver layer needs of the file system beyond files: directories.
#pragma once

#include <string>

namespace pw {

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  virtual bool DirectoryExists(const std::string& path) const = 0;
  // Creates one directory whose parent exists; false when that fails.
  virtual bool CreateDirectory(const std::string& path) = 0;
};

}  // namespace pw
