#include <sys/stat.h>

#include "platform/FileSystem.h"
#include "platform/NativePath.h"
#include "platform/Services.h"

namespace pw {

namespace {

class PosixFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) const override {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  bool CreateDirectory(const std::string& path) override {
    return ::mkdir(NativePath(path).c_str(), 0777) == 0;
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace pw
