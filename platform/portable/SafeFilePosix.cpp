// The careful save on POSIX systems (see SafeFile.h for what it promises).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/SafeFile.h"

namespace pw {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows before ELOOP

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

[[noreturn]] void CannotCreate(const std::string& fileName) {
  throw EFCreateError(Format("Cannot create file %s", fileName));
}

[[noreturn]] void WriteFailed() {
  throw EWriteError("Stream write error");
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that a chain of symbolic links finally names; it need not exist.
// A descriptor link under /proc (as /dev/stdout leads to) names an open file
// rather than a path, so the chain stops there and *openFile is set.
std::string FollowLinks(std::string path, const std::string& fileName, bool* openFile) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    if (path.rfind("/proc/", 0) == 0) {
      *openFile = true;
      return path;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer)) CannotCreate(fileName);
    std::string link(buffer, static_cast<size_t>(n));
    path = link[0] == '/' ? link : FolderOf(path) + link;
  }
  CannotCreate(fileName);
}

// ".NAME.XXXXXX.tmp", with NAME cut so that the whole fits the folder's limit.
std::string TemporaryName(const std::string& target) {
  static std::mt19937 random{std::random_device{}()};
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  const std::string folder = FolderOf(target);
  long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = 255;
  std::string suffix = ".XXXXXX.tmp";
  for (size_t i = 1; i <= 6; ++i) suffix[i] = letters[random() % (sizeof letters - 1)];
  const size_t room = static_cast<size_t>(nameMax) - suffix.size() - 1;
  return folder + "." + BaseOf(target).substr(0, room) + suffix;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& path) {
  const std::string folder = FolderOf(path);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

}  // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& fileName) : fileName_(fileName) {
  bool openFile = false;
  target_ = FollowLinks(NativePath(fileName), fileName, &openFile);
  struct stat st;
  existed_ = ::stat(target_.c_str(), &st) == 0;
  if (existed_) {
    if (S_ISDIR(st.st_mode)) CannotCreate(fileName);
    // The write bits are checked too, because the superuser passes access().
    const bool readOnly = S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
    if (readOnly || ::access(target_.c_str(), W_OK) != 0) CannotCreate(fileName);
    inPlace_ = openFile || !S_ISREG(st.st_mode) || st.st_nlink > 1;
  }
  if (!inPlace_) {
    // Unnamed first, so that a killed save leaves nothing; the mode passed to
    // open is narrowed by the process's umask without our asking for it.
    const std::string folder = FolderOf(target_);
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
      tempName_ = TemporaryName(target_);
      fd = ::open(tempName_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd >= 0) {
      handle_ = fd;
      if (existed_) {
        // The new file takes the old one's owner and permissions; set-id bits
        // only when the owner could be kept.
        mode_t mode = st.st_mode & 07777;
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) mode &= 0777;
        ::fchmod(fd, mode);
      }
      return;
    }
    tempName_.clear();
    inPlace_ = true;  // the folder refuses new files
  }
  // An open file reached through /proc is added to, as a shell's ">>" would;
  // it may hold what the caller's own descriptor wrote before.
  const int flags = O_WRONLY | O_CLOEXEC | (existed_ ? 0 : O_CREAT) | (openFile ? O_APPEND : 0);
  int fd;
  do {
    fd = ::open(target_.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) CannotCreate(fileName);
  handle_ = fd;
}

TSafeFileWriter::~TSafeFileWriter() {
  if (handle_ >= 0) ::close(Fd(handle_));
  if (!committed_ && !tempName_.empty()) ::unlink(tempName_.c_str());
}

void TSafeFileWriter::CommitInPlace() {
  const int fd = Fd(handle_);
  const std::string& bytes = content_.Bytes();
  const auto size = static_cast<off_t>(bytes.size());
  struct stat st;
  const bool rewrite =
      ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !(::fcntl(fd, F_GETFL) & O_APPEND);
  if (rewrite && size > 0) {
    // posix_fallocate only fills holes and space beyond the end; it never
    // changes bytes that are there.
    int error;
    while ((error = ::posix_fallocate(fd, 0, size)) == EINTR) {
    }
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
      // Where the system lacks the call, the library emulates it by writing
      // zeros past the end; whatever it added goes again.
      if (::ftruncate(fd, st.st_size) != 0) {
      }
      WriteFailed();
    }
  }
  if (!WriteAll(fd, bytes)) WriteFailed();
  if (rewrite && ::ftruncate(fd, size) != 0) WriteFailed();
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) WriteFailed();
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) WriteFailed();
}

void TSafeFileWriter::CommitReplacing() {
  const int fd = Fd(handle_);
  if (!WriteAll(fd, content_.Bytes()) || ::fsync(fd) != 0) WriteFailed();
  if (tempName_.empty()) {
    // Give the unnamed file a name of its own, then move it over the target.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; tempName_.empty() && attempt < 100; ++attempt) {
      const std::string name = TemporaryName(target_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
        tempName_ = name;
      } else if (errno != EEXIST) {
        CannotCreate(fileName_);
      }
    }
    if (tempName_.empty()) CannotCreate(fileName_);
  }
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) WriteFailed();
  if (::rename(tempName_.c_str(), target_.c_str()) != 0) CannotCreate(fileName_);
  SyncFolder(target_);
}

}  // namespace pw
