// Byte streams with read, write and position, over memory or a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pw {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Each returns the number of bytes actually moved, which may be fewer.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

  // Fail with "Stream read error" / "Stream write error" on a short transfer.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
};

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  const std::string& Bytes() const { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A file opened for the lifetime of the object and closed on every path.
class TFileStream final : public TStream {
 public:
  enum class TMode {
    fmCreate,    // create or empty the file, read and write, no sharing
    fmOpenRead,  // open an existing file for reading only, no sharing
    // Open an existing regular file for reading only; others may go on
    // reading and appending to it meanwhile.
    fmOpenReadShared,
    // Open or create a regular file whose every write lands at its end, even
    // when another program appends to it too; reading and seeking serve to
    // look at what is there. Others may read and append meanwhile. A file
    // it makes is its owner's alone (mode 600 on POSIX), as a journal is.
    fmAppend,
  };
  // Fails with "Cannot create file %s" (fmCreate, fmAppend) or "Cannot open
  // file %s". The two shared modes refuse, without waiting, anything but a
  // regular file (a FIFO, a device, a folder): ENotRegularFile.
  TFileStream(const std::string& fileName, TMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Forces written data onto the disk; fails with "Stream write error".
  void Flush();
  // Closes now and reports a failure to write back, which the destructor cannot.
  void Close();
  // Waits for this stream's exclusive hold on the file among all who ask for
  // it (flock; on Windows LockFileEx on a byte far past any end, which keeps
  // no reader out), dropped when the stream closes. Advisory: it orders the
  // writers that take it and nothing else. Fails with "Stream write error".
  void Lock();

 private:
  intptr_t handle_;
  bool locked_ = false;
};

bool FileExists(const std::string& fileName);
// The size of a file, or nothing when it cannot be asked.
std::optional<int64_t> FileSize(const std::string& fileName);
// Removes a file; true when it is gone, also when it never was.
bool RemoveFile(const std::string& fileName);
// Puts from in the place of to in one step, replacing to when it exists.
bool MoveFileOver(const std::string& from, const std::string& to);
// Puts from at to in one step only where nothing is at to yet: false, with
// both left as they were, when something is (or the move fails otherwise).
bool MoveFileNew(const std::string& from, const std::string& to);
// Whether two names reach one file (links followed); false when either
// cannot be reached.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace pw
