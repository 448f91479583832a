#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  bool MakeDirectory(const std::string& path) override {
    return ::mkdir(NativePath(path).c_str(), 0777) == 0;
  }

  // Entry types come from the listing itself; only links and file systems
  // that do not report types cost a look at the entry.
  bool ListDirectory(const std::string& path, TDirectoryListing& listing) override {
    listing.names.clear();
    listing.entries.clear();
    const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat self;
    if (::fstat(fd, &self) != 0) {
      ::close(fd);
      return false;
    }
    listing.identity = {static_cast<uint64_t>(self.st_dev), static_cast<uint64_t>(self.st_ino)};
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      ::close(fd);
      return false;
    }
    while (const dirent* e = ::readdir(dir)) {
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      bool isDirectory = e->d_type == DT_DIR;
      if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
        struct stat st;
        isDirectory = ::fstatat(::dirfd(dir), name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      listing.Add(name, isDirectory);
    }
    ::closedir(dir);
    listing.SortByName();
    return true;
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace pw
