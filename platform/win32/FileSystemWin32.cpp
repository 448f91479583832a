#include <windows.h>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"

namespace pw {

namespace {

// A lock on the file's first byte, LockFileEx's, which belongs to the handle:
// two handles exclude each other in one process as well. The file goes when
// its last handle is closed.
class Win32FileLock final : public IFileLock {
 public:
  Win32FileLock(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  ~Win32FileLock() override { Leave(); }
  void Leave() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  intptr_t Handle() const override { return reinterpret_cast<intptr_t>(file_); }
  const std::string& Path() const override { return path_; }

 private:
  HANDLE file_;
  std::string path_;
};

class SystemFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) const override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool MakeDirectory(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
  }

  bool ListDirectory(const std::string& path, TDirectoryListing& listing) override {
    listing.names.clear();
    listing.entries.clear();
    // A bare drive such as "C:" names that drive's current folder, not its
    // root; the scan hands roots over in that form.
    const bool bareDrive = path.size() == 2 && path[1] == ':';
    const std::string folder = bareDrive ? path + "\\" : path;
    HANDLE self =
        CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (self == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(self, &info) != 0;
    CloseHandle(self);
    if (!known) return false;
    listing.identity = {info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
      const char* name = found.cFileName;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      listing.Add(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return true;  // already in the file system's own order
  }

  std::unique_ptr<IFileLock> TryLock(const std::string& path) override {
    // A file whose last holder has just closed it is on its way out and
    // cannot be opened for a moment.
    for (int turn = 0; turn < 50; ++turn) {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_ACCESS_DENIED && turn + 1 < 50) {
          Sleep(10);
          continue;
        }
        break;
      }
      OVERLAPPED start{};
      if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
        return std::make_unique<Win32FileLock>(file, path);
      }
      const DWORD error = GetLastError();
      CloseHandle(file);
      if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return nullptr;
      break;
    }
    throw EFCreateError(Format("Cannot create file %s", path));
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static SystemFileSystem instance;
  return instance;
}

}  // namespace pw
