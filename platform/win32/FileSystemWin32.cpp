#include <windows.h>

#include "platform/FileSystem.h"
#include "platform/Services.h"

namespace pw {

namespace {

class SystemFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) const override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool CreateDirectory(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static SystemFileSystem instance;
  return instance;
}

}  // namespace pw
