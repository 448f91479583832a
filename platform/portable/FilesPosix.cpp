// Files on POSIX systems. Paths arrive in the program's own form, where "\"
// may separate directories as well as "/".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace pw {

namespace {

int Descriptor(intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode) : handle_(-1) {
  const std::string path = NativePath(fileName);
  int fd;
  do {
    fd = mode == TMode::fmCreate
             ? ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
             : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (mode == TMode::fmCreate) throw EFCreateError(Format("Cannot create file %s", fileName));
    throw EFOpenError(Format("Cannot open file %s", fileName));
  }
  handle_ = fd;
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

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(NativePath(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

TSafeFileWriter::TSafeFileWriter(const std::string& fileName) : fileName_(fileName) {
  const std::string path = NativePath(fileName);
  struct stat target;
  const bool exists = ::lstat(path.c_str(), &target) == 0;
  if (!exists || !S_ISLNK(target.st_mode)) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + base + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) {
      // The new file takes the old one's permissions, or those a newly created
      // file would get.
      mode_t mode;
      if (exists) {
        mode = target.st_mode & 07777;
        if (::fchown(fd, target.st_uid, target.st_gid) != 0) mode &= 0777;
      } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
      }
      ::fchmod(fd, mode);
      tempName_ = temp;
      stream_.reset(new TFileStream(fd));
      return;
    }
  }
  stream_ = std::make_unique<TFileStream>(fileName, TFileStream::TMode::fmCreate);
}

TSafeFileWriter::~TSafeFileWriter() {
  stream_.reset();
  if (!committed_ && !tempName_.empty()) ::unlink(tempName_.c_str());
}

void TSafeFileWriter::Commit() {
  stream_->Flush();
  stream_->Close();
  if (!tempName_.empty()) {
    if (::rename(tempName_.c_str(), NativePath(fileName_).c_str()) != 0) {
      throw EFCreateError(Format("Cannot create file %s", fileName_));
    }
    const size_t slash = tempName_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : tempName_.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  committed_ = true;
}

}  // namespace pw
