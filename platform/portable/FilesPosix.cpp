// Files on POSIX systems. Paths arrive in the program's own form, where "\"
// may separate directories as well as "/".
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/Streams.h"

namespace pw {

namespace {

int Descriptor(intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode) : handle_(-1) {
  const std::string path = NativePath(fileName);
  int flags = O_RDONLY | O_CLOEXEC;
  if (mode == TMode::fmCreate) flags = O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (mode == TMode::fmAppend) flags = O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC;
  // Opening a FIFO for reading would wait for a writer; without waiting it
  // opens at once and is refused below.
  const bool regularOnly = mode == TMode::fmOpenReadShared || mode == TMode::fmAppend;
  if (regularOnly) flags |= O_NONBLOCK;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode == TMode::fmAppend ? 0600 : 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (regularOnly && (errno == ENXIO || errno == EISDIR)) {
      throw ENotRegularFile(Format("%s is not a regular file", fileName));
    }
    if (flags & O_CREAT) throw EFCreateError(Format("Cannot create file %s", fileName));
    throw EFOpenError(Format("Cannot open file %s", fileName));
  }
  handle_ = fd;
  if (!regularOnly) return;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    handle_ = -1;
    throw ENotRegularFile(Format("%s is not a regular file", fileName));
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

TFileStream::~TFileStream() {
  if (handle_ >= 0) ::close(Descriptor(handle_));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(Descriptor(handle_), static_cast<char*>(buffer) + done,
                             static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(Descriptor(handle_), static_cast<const char*>(buffer) + done,
                              static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  return ::lseek(Descriptor(handle_), offset, whence);
}

void TFileStream::Flush() {
  if (::fsync(Descriptor(handle_)) != 0 && errno != EINVAL) throw EWriteError("Stream write error");
}

void TFileStream::Close() {
  if (handle_ < 0) return;
  const int fd = Descriptor(handle_);
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) throw EWriteError("Stream write error");
}

void TFileStream::Lock() {
  while (::flock(Descriptor(handle_), LOCK_EX) != 0) {
    if (errno != EINTR) throw EWriteError("Stream write error");
  }
}

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(NativePath(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::optional<int64_t> FileSize(const std::string& fileName) {
  struct stat st;
  if (::stat(NativePath(fileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return static_cast<int64_t>(st.st_size);
}

// A read-only file system refuses even to remove what is not there.
bool RemoveFile(const std::string& fileName) {
  const std::string path = NativePath(fileName);
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  struct stat st;
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

// renameat2's RENAME_NOREPLACE where the file system has it; else a hard
// link, which fails on an existing name, and the old name removed.
bool MoveFileNew(const std::string& from, const std::string& to) {
  const std::string source = NativePath(from), target = NativePath(to);
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  if (::link(source.c_str(), target.c_str()) != 0) return false;
  ::unlink(source.c_str());
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(NativePath(a).c_str(), &first) == 0 && ::stat(NativePath(b).c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace pw
