#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/NativePath.h"
#include "platform/Services.h"

namespace pw {

namespace {

// flock's lock belongs to the open file, so two opens exclude each other in
// one process as well, and a started program that inherits the descriptor
// holds it too. The holder removes the file before it lets go; whoever then
// locks a file that is no longer the one at the path tries again.
class PosixFileLock final : public IFileLock {
 public:
  PosixFileLock(int fd, std::string path, std::string native)
      : fd_(fd), path_(std::move(path)), native_(std::move(native)) {}
  ~PosixFileLock() override {
    if (fd_ < 0) return;
    ::unlink(native_.c_str());
    ::close(fd_);
  }
  void Leave() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  intptr_t Handle() const override { return fd_; }
  const std::string& Path() const override { return path_; }

 private:
  int fd_;
  std::string path_, native_;
};

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

  std::unique_ptr<IFileLock> TryLock(const std::string& path) override {
    const std::string native = NativePath(path);
    // Each turn needs a holder that let go meanwhile; a file that keeps
    // changing hands is as good as held.
    for (int turn = 0; turn < 100; ++turn) {
      const int fd = ::open(native.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd < 0) throw EFCreateError(Format("Cannot create file %s", path));
      int locked;
      while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
      }
      if (locked != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return nullptr;
        throw EFCreateError(Format("Cannot create file %s", path));
      }
      struct stat held, named;
      if (::fstat(fd, &held) == 0 && ::stat(native.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        return std::make_unique<PosixFileLock>(fd, path, native);
      }
      ::close(fd);  // removed by the holder that let go: try the new one
    }
    return nullptr;
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace pw
