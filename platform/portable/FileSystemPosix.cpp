#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

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

// Who this process runs as, for telling which files it may read.
struct TUser {
  uid_t uid = 0;
  std::vector<gid_t> groups;
};

// Asked once for each walk, when its first folder is opened: a process that
// changed who it runs as since the last walk (a child that left root) is
// asked anew.
std::shared_ptr<const TUser> ThisUser() {
  static std::mutex mutex;
  static std::shared_ptr<const TUser> known;
  const std::lock_guard lock(mutex);
  if (known && known->uid == ::geteuid()) return known;
  auto u = std::make_shared<TUser>();
  u->uid = ::geteuid();
  const int count = ::getgroups(0, nullptr);
  u->groups.resize(static_cast<size_t>(std::max(count, 0)));
  if (count > 0) {
    u->groups.resize(static_cast<size_t>(std::max(::getgroups(count, u->groups.data()), 0)));
  }
  u->groups.push_back(::getegid());
  known = u;
  return known;
}

bool Readable(const TUser& user, const struct stat& st) {
  if (user.uid == 0) return true;
  if (st.st_uid == user.uid) return (st.st_mode & S_IRUSR) != 0;
  if (std::find(user.groups.begin(), user.groups.end(), st.st_gid) != user.groups.end()) {
    return (st.st_mode & S_IRGRP) != 0;
  }
  return (st.st_mode & S_IROTH) != 0;
}

TEntryKind KindOfMode(mode_t mode) {
  return S_ISREG(mode)   ? TEntryKind::ekFile
         : S_ISDIR(mode) ? TEntryKind::ekDirectory
         : S_ISLNK(mode) ? TEntryKind::ekLink
                         : TEntryKind::ekOther;
}

TEntryKind KindOfType(unsigned char type) {
  switch (type) {
    case DT_REG:
      return TEntryKind::ekFile;
    case DT_DIR:
      return TEntryKind::ekDirectory;
    case DT_LNK:
      return TEntryKind::ekLink;
    case DT_UNKNOWN:
      return TEntryKind::ekUnknown;
    default:
      return TEntryKind::ekOther;
  }
}

TFolderFailure FailureOf(int error) {
  switch (error) {
    case EMFILE:
    case ENFILE:
      return TFolderFailure::ffTooManyOpen;
    case ENAMETOOLONG:
      return TFolderFailure::ffPathTooLong;
    default:
      return TFolderFailure::ffUnreadable;
  }
}

// A folder's descriptor, which it may give back while it rests (Rest()) and
// one of its subfolders is open: that subfolder, when it closes, hands the
// folder its ".." (the folder it was opened from, as long as it was no link),
// and otherwise the folder opens itself again from the nearest folder above
// it that is open, or by its path.
struct TFolderHandle {
  int fd = -1;
  std::pair<uint64_t, uint64_t> identity{};
  std::shared_ptr<TFolderHandle> parent;  // null for a folder opened by path
  std::string name;                       // in the parent, or the path
  bool resting = false;
  ~TFolderHandle() {
    if (fd >= 0) ::close(fd);
  }
};

std::pair<uint64_t, uint64_t> IdentityOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// fd as the folder the handle was, or -1 (fd closed) when it is another.
int Verified(int fd, const TFolderHandle& handle) {
  struct stat st;
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) &&
      IdentityOf(st) == handle.identity) {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

// Opens a resting handle again: the chain of handles without a descriptor,
// from the nearest one with a descriptor (or opened by path) down to this
// one, without a descriptor held for each level in between.
bool Reopen(TFolderHandle& handle) {
  if (handle.fd >= 0) return true;
  std::vector<TFolderHandle*> chain{&handle};
  while (chain.back()->parent && chain.back()->parent->fd < 0) {
    chain.push_back(chain.back()->parent.get());
  }
  TFolderHandle* top = chain.back();
  int fd = top->parent ? ::openat(top->parent->fd, top->name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                       : ::open(top->name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fd = Verified(fd, *top);
  for (size_t k = chain.size() - 1; k-- > 0 && fd >= 0;) {
    const int below = ::openat(fd, chain[k]->name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = Verified(below, *chain[k]);
  }
  handle.fd = fd;
  return fd >= 0;
}

// The entries come straight from getdents64 in large reads; only the
// entries the caller looks at cost a call of their own.
class PosixFolder final : public IFolder {
 public:
  // Takes fd over; null when it is no folder that can be looked at.
  static std::unique_ptr<IFolder> Of(int fd, std::shared_ptr<TFolderHandle> parent,
                                     std::string name, std::shared_ptr<const TUser> user,
                                     TFolderFailure* why) {
    if (fd < 0) {
      if (why) *why = FailureOf(errno);
      return nullptr;
    }
    struct stat self;
    if (::fstat(fd, &self) != 0 || !S_ISDIR(self.st_mode)) {
      if (why) *why = TFolderFailure::ffUnreadable;
      ::close(fd);
      return nullptr;
    }
    auto handle = std::make_shared<TFolderHandle>();
    handle->fd = fd;
    handle->identity = IdentityOf(self);
    handle->parent = std::move(parent);
    handle->name = std::move(name);
    // Listing a folder needs the right to read it, looking at its entries
    // and opening them the right to search it.
    const bool searchable =
        user->uid == 0 || ::faccessat(fd, ".", X_OK, AT_EACCESS) == 0 || errno != EACCES;
    return std::unique_ptr<IFolder>(new PosixFolder(std::move(handle), searchable, std::move(user)));
  }
  ~PosixFolder() override {
    // A resting folder above takes its descriptor back through "..".
    TFolderHandle* parent = handle_->parent.get();
    if (parent && parent->resting && parent->fd < 0 && handle_->fd >= 0) {
      parent->fd = Verified(::openat(handle_->fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC),
                            *parent);
    }
  }

  std::pair<uint64_t, uint64_t> Identity() const override { return handle_->identity; }
  TFolderFailure Failure() const override { return failure_; }
  void Rest() override { handle_->resting = true; }

  bool Read() override {
    if (read_) return failure_ == TFolderFailure::ffNone;
    read_ = true;
    if (!searchable_) return Fail(TFolderFailure::ffNotEntered);
    if (!Reopen(*handle_)) return Fail(FailureOf(errno));
    struct Found {
      uint32_t offset, length;
      unsigned char type;
    };
    std::vector<Found> found;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      const long n = ::syscall(SYS_getdents64, handle_->fd, buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(TFolderFailure::ffUnreadable);
      }
      if (n == 0) break;
      for (long at = 0; at < n;) {
        // struct linux_dirent64: inode, offset, record length, type, name.
        const char* record = buffer.data() + at;
        unsigned short length;
        std::memcpy(&length, record + 16, sizeof length);
        const unsigned char type = static_cast<unsigned char>(record[18]);
        const char* name = record + 19;
        at += length;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        const size_t size = std::strlen(name);
        found.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(size), type});
        names_.append(name, size + 1);  // kept with its end for the calls
      }
    }
    std::vector<uint32_t> order(found.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      return std::string_view(names_.data() + found[a].offset, found[a].length) <
             std::string_view(names_.data() + found[b].offset, found[b].length);
    });
    entries_.reserve(found.size());
    for (const uint32_t i : order) {
      entries_.push_back({found[i].offset, found[i].length, KindOfType(found[i].type)});
    }
    return true;
  }

  size_t Count() const override { return entries_.size(); }
  std::string_view Name(size_t i) const override {
    return {names_.data() + entries_[i].offset, entries_[i].length};
  }
  TEntryKind Kind(size_t i) const override { return entries_[i].kind; }

  bool Look(size_t i, bool followLinks, TEntryFacts& facts) override {
    struct stat st;
    if (!Reopen(*handle_) ||
        ::fstatat(handle_->fd, CName(i), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
      return false;
    }
    facts.kind = KindOfMode(st.st_mode);
    facts.size = static_cast<int64_t>(st.st_size);
    facts.readable = Readable(*user_, st);
    return true;
  }

  std::unique_ptr<IFolder> Open(size_t i, TFolderFailure* why) override {
    if (!Reopen(*handle_)) {
      if (why) *why = FailureOf(errno);
      return nullptr;
    }
    std::unique_ptr<IFolder> sub =
        Of(::openat(handle_->fd, CName(i), O_RDONLY | O_DIRECTORY | O_CLOEXEC), handle_,
           std::string(Name(i)), user_, why);
    // A subfolder that is no link gives this folder back through "..".
    if (sub && handle_->resting && entries_[i].kind == TEntryKind::ekDirectory) {
      ::close(handle_->fd);
      handle_->fd = -1;
    }
    return sub;
  }

 private:
  struct Entry {
    uint32_t offset, length;
    TEntryKind kind;
  };
  PosixFolder(std::shared_ptr<TFolderHandle> handle, bool searchable,
              std::shared_ptr<const TUser> user)
      : handle_(std::move(handle)), searchable_(searchable), user_(std::move(user)) {}
  const char* CName(size_t i) const { return names_.data() + entries_[i].offset; }
  bool Fail(TFolderFailure failure) {
    failure_ = failure;
    return false;
  }

  const std::shared_ptr<TFolderHandle> handle_;
  const bool searchable_;
  const std::shared_ptr<const TUser> user_;
  bool read_ = false;
  TFolderFailure failure_ = TFolderFailure::ffNone;
  std::string names_;
  std::vector<Entry> entries_;
};

// The steps of a path pushed so that the first is taken next.
void PushSteps(const std::string& path, std::vector<std::string>& ahead) {
  std::vector<std::string> steps;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start && path.compare(start, end - start, ".") != 0) {
      steps.push_back(path.substr(start, end - start));
    }
    start = end + 1;
  }
  ahead.insert(ahead.end(), steps.rbegin(), steps.rend());
}

class PosixFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) const override {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  bool MakeDirectory(const std::string& path) override {
    // Never writable by others, whatever the umask: an archive folder that
    // others could write to would let them replace its archives.
    return ::mkdir(NativePath(path).c_str(), 0755) == 0;
  }

  // Entry types come from the listing itself; only links and file systems
  // that do not report types cost a look at the entry.
  bool ListDirectory(const std::string& path, TDirectoryListing& listing) override {
    listing.names.clear();
    listing.entries.clear();
    const std::unique_ptr<IFolder> folder = OpenFolder(path, nullptr);
    if (!folder || !folder->Read()) return false;
    listing.identity = folder->Identity();
    for (size_t i = 0; i < folder->Count(); ++i) {
      const TEntryKind kind = folder->Kind(i);
      bool isDirectory = kind == TEntryKind::ekDirectory;
      if (kind == TEntryKind::ekLink || kind == TEntryKind::ekUnknown) {
        TEntryFacts facts;
        isDirectory = folder->Look(i, true, facts) && facts.kind == TEntryKind::ekDirectory;
      }
      listing.Add(folder->Name(i), isDirectory);
    }
    listing.SortByName();
    return true;
  }

  // realpath on the longest part that exists; a step that is missing (or a
  // link that leads nowhere) and all after it are kept as they are.
  std::string ResolvedPath(const std::string& path) const override {
    if (path.empty() || path[0] != '/') return path;
    std::string head = path;
    std::string tail;
    while (true) {
      if (char* real = ::realpath(NativePath(head).c_str(), nullptr)) {
        std::string resolved = real;
        std::free(real);
        if (tail.empty()) return resolved;
        return resolved == "/" ? "/" + tail : resolved + "/" + tail;
      }
      const size_t sep = head.find_last_of('/');
      if (sep == std::string::npos || head == "/") return path;
      const std::string step = head.substr(sep + 1);
      if (!step.empty()) tail = tail.empty() ? step : step + "/" + tail;
      head = sep == 0 ? "/" : head.substr(0, sep);
    }
  }

  // Walks the path by open folders, each step looked at where the walk
  // stands, so that a step swapped meanwhile cannot lead the walk astray; a
  // link is read and its target walked in its place.
  std::string ForeignStep(const std::string& path) const override {
    const std::string native = NativePath(path);
    const bool rooted = !native.empty() && native[0] == '/';
    int fd = ::open(rooted ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string here = rooted ? "" : ".";  // the folder fd holds ("" the root), for the messages
    std::vector<std::string> ahead;        // the steps still to take, the next last
    PushSteps(native, ahead);
    const uid_t user = ::geteuid();
    std::string problem;
    for (int turns = 0; !ahead.empty() && turns < 256; ++turns) {
      const std::string name = ahead.back();
      ahead.pop_back();
      if (name == "..") {
        const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (up < 0) break;
        ::close(fd);
        fd = up;
        // Back one step in the text too, unless it is the root or only goes up.
        const size_t sep = here.find_last_of('/');
        if (here.empty()) continue;
        const bool upward = sep == std::string::npos || here.compare(sep, 3, "/..") == 0;
        here = upward ? here + "/.." : here.substr(0, sep);
        continue;
      }
      const std::string at = here + "/" + name;
      struct stat folder, step;
      if (::fstat(fd, &folder) != 0 ||
          ::fstatat(fd, name.c_str(), &step, AT_SYMLINK_NOFOLLOW) != 0) {
        break;  // not there yet: what is made from here on is made by this process
      }
      if ((folder.st_mode & S_IWOTH) != 0) {
        if ((folder.st_mode & S_ISVTX) == 0) {
          problem = Format(
              "%s lies in a folder that every user may write to and that has no sticky bit", at);
          break;
        }
        if (S_ISLNK(step.st_mode)) {
          problem = Format("%s is a symbolic link in a folder that every user may write to", at);
          break;
        }
        if (step.st_uid != user && step.st_uid != 0) {
          problem =
              Format("%s belongs to another user, in a folder that every user may write to", at);
          break;
        }
      }
      if (S_ISLNK(step.st_mode)) {
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(fd, name.c_str(), target.data(), target.size());
        if (n <= 0) break;
        target.resize(static_cast<size_t>(n));
        if (target[0] == '/') {
          const int top = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
          if (top < 0) break;
          ::close(fd);
          fd = top;
          here.clear();
        }
        PushSteps(target, ahead);
        continue;
      }
      if (!S_ISDIR(step.st_mode)) break;  // the file itself, or one in the way
      const int next = ::openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      struct stat opened;
      if (next >= 0 && (::fstat(next, &opened) != 0 || opened.st_dev != step.st_dev ||
                        opened.st_ino != step.st_ino)) {
        ::close(next);
        ahead.push_back(name);  // swapped since the look: looked at again
        continue;
      }
      if (next < 0) {
        if (errno != ELOOP && errno != ENOTDIR) break;
        ahead.push_back(name);  // made a link or a file since the look
        continue;
      }
      ::close(fd);
      fd = next;
      here = at;
    }
    ::close(fd);
    return problem;
  }

  std::string WriteProblem(const std::string& folder) const override {
    if (::faccessat(AT_FDCWD, NativePath(folder).c_str(), W_OK | X_OK, AT_EACCESS) == 0) return {};
    switch (errno) {
      case EROFS:
        return "it lies on a file system mounted read-only";
      case EACCES:
      case EPERM:
        return "this user may not write to it";
      case ENOENT:
      case ENOTDIR:
        return "it does not exist";
      default:
        return std::strerror(errno);
    }
  }

  bool LookAt(const std::string& path, TEntryFacts& facts) const override {
    struct stat st;
    if (::lstat(NativePath(path).c_str(), &st) != 0) return false;
    facts.kind = KindOfMode(st.st_mode);
    facts.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    facts.readable = Readable(*ThisUser(), st);
    return true;
  }

  std::string RemoveFileAt(const std::string& path) override {
    if (::unlink(NativePath(path).c_str()) == 0) return {};
    return std::strerror(errno);
  }

  std::string RemoveEmptyFolder(const std::string& path) override {
    if (::rmdir(NativePath(path).c_str()) == 0) return {};
    if (errno == ENOTEMPTY || errno == EEXIST) return kNotEmpty;
    return std::strerror(errno);
  }

  std::unique_ptr<IFolder> OpenFolder(const std::string& path, TFolderFailure* why) override {
    std::string native = NativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return PosixFolder::Of(fd, nullptr, std::move(native), ThisUser(), why);
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
