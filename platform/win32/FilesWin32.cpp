// Files through the Win32 API with 8-bit (ANSI) names.
#include <windows.h>

#include <algorithm>

#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace pw {

namespace {

HANDLE H(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::string FolderOf(const std::string& fileName) {
  const size_t sep = fileName.find_last_of("\\/:");
  return sep == std::string::npos ? std::string(".") : fileName.substr(0, sep + 1);
}

// The byte that Lock takes: far past the end of any file, so that the lock,
// which Windows enforces on reads as well, keeps no reader out.
OVERLAPPED LockedByte() {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFE;
  at.OffsetHigh = 0x7FFFFFFF;
  return at;
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode) : handle_(-1) {
  DWORD access = GENERIC_READ, share = 0, disposition = OPEN_EXISTING;
  switch (mode) {
    case TMode::fmCreate:
      access = GENERIC_READ | GENERIC_WRITE, disposition = CREATE_ALWAYS;
      break;
    case TMode::fmOpenRead:
      break;
    case TMode::fmOpenReadShared:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case TMode::fmAppend:
      // Append access without write access: the system puts every write at
      // the end, whatever the file pointer says.
      access = FILE_GENERIC_READ | FILE_APPEND_DATA;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE, disposition = OPEN_ALWAYS;
      break;
  }
  HANDLE h = CreateFileA(fileName.c_str(), access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (disposition != OPEN_EXISTING) {
      throw EFCreateError(Format("Cannot create file %s", fileName));
    }
    throw EFOpenError(Format("Cannot open file %s", fileName));
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  if ((mode == TMode::fmOpenReadShared || mode == TMode::fmAppend) &&
      GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    handle_ = -1;
    throw ENotRegularFile(Format("%s is not a regular file", fileName));
  }
}

void TFileStream::Lock() {
  OVERLAPPED at = LockedByte();
  if (!LockFileEx(H(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
    throw EWriteError("Stream write error");
  }
  locked_ = true;
}

TFileStream::~TFileStream() {
  if (handle_ == -1) return;
  if (locked_) {
    OVERLAPPED at = LockedByte();
    UnlockFileEx(H(handle_), 0, 1, 0, &at);
  }
  CloseHandle(H(handle_));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, chunk, &n, nullptr) || n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    if (!WriteFile(H(handle_), static_cast<const char*>(buffer) + done, chunk, &n, nullptr) ||
        n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  const DWORD method = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                       : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                          : FILE_END;
  if (!SetFilePointerEx(H(handle_), distance, &result, method)) return -1;
  return result.QuadPart;
}

void TFileStream::Flush() {
  if (!FlushFileBuffers(H(handle_))) throw EWriteError("Stream write error");
}

void TFileStream::Close() {
  if (handle_ == -1) return;
  HANDLE h = H(handle_);
  handle_ = -1;
  if (locked_) {
    OVERLAPPED at = LockedByte();
    UnlockFileEx(h, 0, 1, 0, &at);
    locked_ = false;
  }
  if (!CloseHandle(h)) throw EWriteError("Stream write error");
}

bool FileExists(const std::string& fileName) {
  const DWORD attributes = GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<int64_t> FileSize(const std::string& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                              data.nFileSizeLow);
}

bool RemoveFile(const std::string& fileName) {
  if (DeleteFileA(fileName.c_str())) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
  // A write-protected medium refuses even to remove what is not there.
  if (GetFileAttributesA(fileName.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD missing = GetLastError();
  return missing == ERROR_FILE_NOT_FOUND || missing == ERROR_PATH_NOT_FOUND;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
}

bool MoveFileNew(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* names[] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    HANDLE h = CreateFileA(names[i]->c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(h, &info[i]) != 0;
    CloseHandle(h);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

namespace {

// The file that a name finally refers to, links and junctions followed; the
// name itself when it cannot be opened (it need not exist yet).
std::string FinalName(const std::string& fileName) {
  HANDLE h =
      CreateFileA(fileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fileName;
  char buffer[MAX_PATH * 4];
  const DWORD n = GetFinalPathNameByHandleA(h, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (n == 0 || n >= sizeof buffer) return fileName;
  std::string name(buffer, n);
  if (name.rfind("\\\\?\\UNC\\", 0) == 0) return "\\" + name.substr(7);
  if (name.rfind("\\\\?\\", 0) == 0) return name.substr(4);
  return name;
}

[[noreturn]] void WriteFailed() {
  throw EWriteError("Stream write error");
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 30));
    if (!WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

}  // namespace

// A file in the user's profile is the user's own by its folder's access list.
TSafeFileWriter::TSafeFileWriter(const std::string& fileName, bool) : fileName_(fileName) {
  const DWORD linkAttributes = GetFileAttributesA(fileName.c_str());
  target_ =
      linkAttributes != INVALID_FILE_ATTRIBUTES && (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
          ? FinalName(fileName)
          : fileName;
  const DWORD attributes = GetFileAttributesA(target_.c_str());
  existed_ = attributes != INVALID_FILE_ATTRIBUTES;
  if (existed_ && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    throw EFCreateError(Format("Cannot create file %s", fileName));
  }
  HANDLE h = INVALID_HANDLE_VALUE;
  if (existed_) {
    // The probe only asks what the target is and shares everything, so that a
    // reader holding the file open (an editor, a virus scanner, a backup
    // program) does not make the save fail: the file is replaced, not
    // written, unless it is one of the kinds below.
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    h = CreateFileA(target_.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw EFCreateError(Format("Cannot create file %s", fileName));
    // Devices (NUL, CON, pipes) and files with more than one name are written
    // into; anything else is replaced through a temporary file.
    BY_HANDLE_FILE_INFORMATION info;
    inPlace_ = GetFileType(h) != FILE_TYPE_DISK ||
               (GetFileInformationByHandle(h, &info) && info.nNumberOfLinks > 1);
    CloseHandle(h);
    if (!inPlace_) {
      // Replacing renames the target away, which every handle open on it must
      // allow; asking for that now fails before anything is written, where
      // a failed replace could leave its own temporary files behind.
      h = CreateFileA(target_.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        throw EFCreateError(Format("Cannot create file %s", fileName));
      }
      CloseHandle(h);
    }
    if (inPlace_) {
      h = CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        throw EFCreateError(Format("Cannot create file %s", fileName));
      }
      handle_ = reinterpret_cast<intptr_t>(h);
      return;
    }
  }
  char temp[MAX_PATH];
  if (GetTempFileNameA(FolderOf(target_).c_str(), "pw", 0, temp) != 0) {
    h = CreateFileA(temp, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      tempName_ = temp;
      handle_ = reinterpret_cast<intptr_t>(h);
      return;
    }
    DeleteFileA(temp);
  }
  // The folder refuses new files.
  inPlace_ = true;
  h = CreateFileA(target_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                  nullptr);
  if (h == INVALID_HANDLE_VALUE) throw EFCreateError(Format("Cannot create file %s", fileName));
  handle_ = reinterpret_cast<intptr_t>(h);
}

TSafeFileWriter::~TSafeFileWriter() {
  if (handle_ != -1) CloseHandle(H(handle_));
  if (!committed_ && !tempName_.empty()) DeleteFileA(tempName_.c_str());
}

void TSafeFileWriter::CommitInPlace() {
  HANDLE h = H(handle_);
  const std::string& bytes = content_.Bytes();
  LARGE_INTEGER size, zero;
  size.QuadPart = static_cast<LONGLONG>(bytes.size());
  zero.QuadPart = 0;
  const bool disk = GetFileType(h) == FILE_TYPE_DISK;
  if (disk) {
    // Growing the file first reserves its space, so that a full disk fails
    // before anything is overwritten.
    LARGE_INTEGER current;
    if (GetFileSizeEx(h, &current) && current.QuadPart < size.QuadPart &&
        (!SetFilePointerEx(h, size, nullptr, FILE_BEGIN) || !SetEndOfFile(h))) {
      WriteFailed();
    }
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) WriteFailed();
  }
  if (!WriteAll(h, bytes)) WriteFailed();
  if (disk && (!SetEndOfFile(h) || !FlushFileBuffers(h))) WriteFailed();
  handle_ = -1;
  if (!CloseHandle(h)) WriteFailed();
}

void TSafeFileWriter::CommitReplacing() {
  HANDLE h = H(handle_);
  if (!WriteAll(h, content_.Bytes()) || !FlushFileBuffers(h)) WriteFailed();
  handle_ = -1;
  if (!CloseHandle(h)) WriteFailed();
  // ReplaceFile keeps the target's security; a new target is simply moved
  // into place.
  const DWORD attributes = existed_ ? GetFileAttributesA(target_.c_str()) : INVALID_FILE_ATTRIBUTES;
  const bool replaced =
      existed_ ? ReplaceFileA(target_.c_str(), tempName_.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
               : MoveFileExA(tempName_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  if (!replaced) throw EFCreateError(Format("Cannot create file %s", fileName_));
  // Not every implementation of ReplaceFile carries the old attributes over
  // (Wine does not), so hidden or system files are made so again.
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0) {
    SetFileAttributesA(target_.c_str(), attributes & kKept);
  }
}

}  // namespace pw
