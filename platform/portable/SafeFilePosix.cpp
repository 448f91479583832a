// The careful save on POSIX systems (see SafeFile.h for what it promises).
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
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

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string result(real);
  ::free(real);
  return result;
}

// The descriptor that a path names, or -1: /dev/stdout, /dev/stderr,
// /dev/fd/N and /proc/self/fd/N, however the folder is spelled as long as it
// is this process's table (/proc/PID/fd, /proc/thread-self/fd). Another
// process's descriptors cannot be duplicated; their links are followed as
// any others.
int DescriptorNamed(const std::string& path) {
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  const std::string number = BaseOf(path);
  // The kernel knows no descriptor "01", and nothing here is above INT_MAX.
  if (!AllDigits(number) || number.size() > 9 || (number.size() > 1 && number[0] == '0')) {
    return -1;
  }
  const int descriptor = std::stoi(number);
  const std::string folder = FolderOf(path);
  if (folder == "/dev/fd/" || folder == "/proc/self/fd/" || folder == "/proc/thread-self/fd/") {
    return descriptor;
  }
  const std::string real = RealPath(folder), self = RealPath("/proc/self");
  if (real.empty() || self.empty() || real.compare(0, self.size(), self) != 0) return -1;
  const std::string rest = real.substr(self.size());
  const std::string task = "/task/", fd = "/fd";
  if (rest == fd) return descriptor;
  const bool ofAThread = rest.size() > task.size() + fd.size() && rest.rfind(task, 0) == 0 &&
                         rest.compare(rest.size() - fd.size(), fd.size(), fd) == 0 &&
                         AllDigits(rest.substr(task.size(), rest.size() - task.size() - fd.size()));
  return ofAThread ? descriptor : -1;
}

// The file that a chain of symbolic links finally names; it need not exist.
// The chain stops at a name of an open descriptor (*descriptor is set). Its
// link under /proc shows what the descriptor was opened on, but that is no
// path to save to: a pipe or a socket has none, and a file reached by its
// name would be replaced, losing what the caller had put there before (a
// shell's ">>").
std::string FollowLinks(std::string path, const std::string& fileName, int* descriptor) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    *descriptor = DescriptorNamed(path);
    if (*descriptor >= 0) return path;
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

// Whether the file is the root of a mount (a file bind-mounted over another),
// which no rename can replace. Where statx cannot tell, the rename's EBUSY
// still shows it.
bool IsMountPoint(const std::string& path) {
#ifdef STATX_ATTR_MOUNT_ROOT
  struct statx st;
  return ::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS, &st) == 0 &&
         (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#else
  (void)path;
  return false;
#endif
}

// ".NAME.XXXXXX.tmp", with NAME cut so that the whole fits the folder's limit.
std::string TemporaryName(const std::string& target) {
  // A generator of each thread's own: saves running on several threads at
  // once would otherwise share its state unguarded.
  thread_local std::mt19937 random{std::random_device{}()};
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  const std::string folder = FolderOf(target);
  long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = 255;
  std::string suffix = ".XXXXXX.tmp";
  for (size_t i = 1; i <= 6; ++i) suffix[i] = letters[random() % (sizeof letters - 1)];
  const size_t room = static_cast<size_t>(nameMax) - suffix.size() - 1;
  return folder + "." + BaseOf(target).substr(0, room) + suffix;
}

// Gives the unnamed file open as fd the name; false with *error set when it
// cannot. The way through /proc works for everyone; AT_EMPTY_PATH, for when
// /proc is missing, only with a privilege. A clash is a clash either way, so
// the second is not tried then, and its failure would hide the clash.
bool LinkUnnamed(int fd, const std::string& name, int* error) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != EEXIST && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
  *error = errno;
  return false;
}

int OpenInPlace(const std::string& target, bool create, mode_t mode) {
  int fd;
  do {
    fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0), mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
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

// Forces what was written onto the disk. EINVAL and EROFS say that this file
// (a pipe, a terminal) or its file system cannot be synced at all, which
// leaves nothing to wait for; any other error may have lost the data.
bool Synced(int fd) {
  return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

void SyncFolder(const std::string& path) {
  const std::string folder = FolderOf(path);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

}  // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& fileName, bool ownerOnly)
    : fileName_(fileName) {
  int descriptor = -1;
  target_ = FollowLinks(NativePath(fileName), fileName, &descriptor);
  if (descriptor >= 0) {
    // Written through a copy of the caller's descriptor, which shares its
    // position and its appending; one opened only for reading is refused.
    const int flags = ::fcntl(descriptor, F_GETFL);
    const int fd =
        flags < 0 || (flags & O_ACCMODE) == O_RDONLY ? -1 : ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) CannotCreate(fileName);
    handle_ = fd;
    existed_ = inPlace_ = descriptor_ = true;
    return;
  }
  struct stat st;
  existed_ = ::stat(target_.c_str(), &st) == 0;
  if (existed_) {
    if (S_ISDIR(st.st_mode)) CannotCreate(fileName);
    // The write bits are checked too, because the superuser passes access().
    const bool readOnly = S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
    if (readOnly || ::access(target_.c_str(), W_OK) != 0) CannotCreate(fileName);
    inPlace_ = !S_ISREG(st.st_mode) || st.st_nlink > 1 || IsMountPoint(target_);
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
      } else if (ownerOnly) {
        ::fchmod(fd, 0600);
      }
      return;
    }
    tempName_.clear();
    inPlace_ = true;  // the folder refuses new files
  }
  const int fd = OpenInPlace(target_, !existed_, ownerOnly ? 0600 : 0666);
  if (fd < 0) CannotCreate(fileName);
  if (!existed_ && ownerOnly) ::fchmod(fd, 0600);
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
  // A descriptor is written as it stands, at its position or its end; only a
  // file opened here by its name is rewritten from the start.
  const bool rewrite = !descriptor_ && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
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
  if (!Synced(fd)) WriteFailed();
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) WriteFailed();
}

void TSafeFileWriter::CommitReplacing() {
  const int fd = Fd(handle_);
  if (!WriteAll(fd, content_.Bytes()) || !Synced(fd)) WriteFailed();
  if (tempName_.empty()) {
    // Give the unnamed file a name of its own, then move it over the target.
    for (int attempt = 0; tempName_.empty() && attempt < 100; ++attempt) {
      const std::string name = TemporaryName(target_);
      int error = 0;
      if (LinkUnnamed(fd, name, &error)) {
        tempName_ = name;
      } else if (error != EEXIST) {
        CannotCreate(fileName_);
      }
    }
    if (tempName_.empty()) CannotCreate(fileName_);
  }
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) WriteFailed();
  if (::rename(tempName_.c_str(), target_.c_str()) == 0) {
    SyncFolder(target_);
    return;
  }
  // A file is mounted over the target that the constructor did not see (it
  // came since, or statx cannot tell): it can only be written into, with the
  // space reserved first as for any file in place.
  if (errno != EBUSY) CannotCreate(fileName_);
  ::unlink(tempName_.c_str());
  tempName_.clear();
  const int target = OpenInPlace(target_, false, 0666);
  if (target < 0) CannotCreate(fileName_);
  handle_ = target;
  inPlace_ = true;
  CommitInPlace();
}

}  // namespace pw
